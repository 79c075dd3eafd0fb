// The configuration loader: applies the hardware keys of a saved INI
// configuration (the test program's file, one "CardNo:<id>" section per
// card, keys "<axis letter>-<name>") to every open card, through the
// configuration exports and their checks.
//
// A key the file does not hold (or holds empty) sets its setting to 0, so a
// card or axis the file leaves out is configured with zeros. The whole file
// is read and checked before any card is touched: a value that is no number
// or does not fit its field makes the file bad (ERROR_CONFIG_FILE_NOT_FOUND)
// and nothing is applied. Every configuration call is made even after one fails, and the
// first failure is the result.
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <climits>

#include "card_table.h"
#include "model.h"

namespace {

#ifdef RM7X0_MODEL_B
constexpr char DEFAULT_FILE[] = "%s\\system32\\RM730_Config.ini";
#else
constexpr char DEFAULT_FILE[] = "%s\\system32\\RM720_Config.ini";
#endif
constexpr char AXIS_LETTERS[AXES_PER_CARD + 1] = "XYZU";
constexpr DWORD VALUE_BUFFER = 20;  // characters, terminator included

// The hardware keys of one axis as the file holds them. Levels are 0 (low)
// or 1 (high); the home and index levels also accept their register words.
struct AxisSettings {
  int64_t pulse_mode = 0, encoder_mode = 0, limit_level = 0;
  int64_t home_level = 0, near_home_level = 0, index_level = 0;
  bool soft_limit = false;
  int64_t soft_limit_source = 0, soft_limit_plus = 0, soft_limit_minus = 0;
  int64_t inp_enable = 0, inp_level = 0, alarm_enable = 0, alarm_level = 0;
  int64_t filter_mode = 0, delay_time = 0;
};

struct CardSettings {
  uint8_t card_id = 0;
  AxisSettings axes[AXES_PER_CARD];
};

// Reads the keys of one axis in a card's section.
class AxisKeys {
 public:
  AxisKeys(const char *path, uint8_t card_id, char axis_letter) : path_(path), letter_(axis_letter) {
    std::snprintf(section_, sizeof section_, "CardNo:%d", card_id);
  }

  // The key's text; "" when it is missing.
  bool read(const char *name, char (&text)[VALUE_BUFFER]) const {
    char key[32];
    std::snprintf(key, sizeof key, "%c-%s", letter_, name);
    GetPrivateProfileStringA(section_, key, nullptr, text, VALUE_BUFFER, path_);
    return text[0] != '\0';
  }

  // The key's decimal value within min..max; a missing key gives 0. False
  // for text that is not wholly a number or a number beyond the field.
  bool number(const char *name, int64_t min, int64_t max, int64_t *value) const {
    char text[VALUE_BUFFER];
    *value = 0;
    return !read(name, text) || parse(text, min, max, value);
  }

 private:
  static bool parse(const char *text, int64_t min, int64_t max, int64_t *value) {
    char *end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || parsed < min || parsed > max) return false;
    *value = parsed;
    return true;
  }

  const char *path_;
  char section_[16];
  char letter_;
};

constexpr int64_t BYTE_MAX = 0xFF, WORD_MAX = 0xFFFF;

// The software limit counts only when its three keys are all there; the
// keys after an empty one are not read.
bool read_soft_limit(const AxisKeys &keys, AxisSettings *axis) {
  char text[VALUE_BUFFER];
  axis->soft_limit = keys.read("SLIMIT_SRC", text) && keys.read("SLIMIT_PLUS", text) &&
                     keys.read("SLIMIT_MINUS", text);
  if (!axis->soft_limit) return true;
  return keys.number("SLIMIT_SRC", 0, BYTE_MAX, &axis->soft_limit_source) &&
         keys.number("SLIMIT_PLUS", INT32_MIN, INT32_MAX, &axis->soft_limit_plus) &&
         keys.number("SLIMIT_MINUS", INT32_MIN, INT32_MAX, &axis->soft_limit_minus);
}

// False when the file is bad for this axis: a value that does not fit its field.
bool read_axis(const AxisKeys &keys, AxisSettings *axis) {
  return keys.number("PULSE_MODE", 0, BYTE_MAX, &axis->pulse_mode) &&
         keys.number("ENC_MODE", 0, BYTE_MAX, &axis->encoder_mode) &&
         keys.number("LMT_LEVEL", 0, BYTE_MAX, &axis->limit_level) &&
         keys.number("HOME_LEVEL", 0, BYTE_MAX, &axis->home_level) &&
         keys.number("NRHOME_LEVEL", 0, BYTE_MAX, &axis->near_home_level) &&
         keys.number("INDEX_LEVEL", 0, BYTE_MAX, &axis->index_level) &&
         read_soft_limit(keys, axis) &&
         keys.number("INP_EN", 0, BYTE_MAX, &axis->inp_enable) &&
         keys.number("INP_LEVEL", 0, BYTE_MAX, &axis->inp_level) &&
         keys.number("ALM_EN", 0, BYTE_MAX, &axis->alarm_enable) &&
         keys.number("ALM_LEVE", 0, BYTE_MAX, &axis->alarm_level) &&
         // The filter mode goes to bits 8-15 of the filter word.
         keys.number("FILTER_MODE", 0, BYTE_MAX, &axis->filter_mode) &&
         keys.number("DELAY_TIME", 0, WORD_MAX, &axis->delay_time);
}

bool read_card(const char *path, CardSettings *card) {
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    if (!read_axis(AxisKeys(path, card->card_id, AXIS_LETTERS[axis]), &card->axes[axis]))
      return false;
  }
  return true;
}

// Keeps the first failure of a sequence of calls.
class FirstFailure {
 public:
  void operator+=(ApiStatus status) {
    if (status_ == SUCCESS_NO_ERROR) status_ = status;
  }
  ApiStatus status() const { return status_; }

 private:
  ApiStatus status_ = SUCCESS_NO_ERROR;
};

struct PulseOutput {
  uint16_t mode, level, direction;
};
constexpr PulseOutput PULSE_OUTPUTS[] = {{0, 0, 0x100},    {0, 0x80, 0x100}, {0x40, 0, 0},
                                         {0x40, 0x80, 0},  {0x40, 0, 0x100}, {0x40, 0x80, 0x100}};
constexpr uint16_t ENCODER_MODES[] = {0, 1024, 2048, 512};
constexpr uint16_t LIMIT_LOGICS[] = {0, 24};
constexpr uint16_t LIMIT_STOP_DECELERATING = 4;
// Register words of the configuration exports (rm7x0_exports.h).
constexpr uint16_t HOME_LEVEL_HIGH = 4, INDEX_LEVEL_HIGH = 16;
constexpr uint16_t SOFT_LIMIT_ON = 3, SOFT_LIMIT_ENCODER = 32;
constexpr uint16_t INP_ON = 0x8000, INP_HIGH = 0x4000;
constexpr uint16_t ALARM_ON = 0x2000, ALARM_HIGH = 0x1000;
constexpr int64_t FILTER_DELAYS = 8;       // delay times 1..8
constexpr uint16_t FILTER_DELAY_STEP = 0x2000;

// A level of the file (0 low, 1 high) as the register word that means high;
// any other value goes on unchanged for the export to judge.
uint16_t level_word(int64_t level, uint16_t high_word) {
  return static_cast<uint16_t>(level == 1 ? high_word : level);
}

template <typename T, size_t N>
bool in_table(int64_t value, const T (&)[N]) {
  return value >= 0 && value < static_cast<int64_t>(N);
}

// Values outside a table of modes or levels make no call for them.
void apply_axis(uint8_t card, uint16_t axis, const AxisSettings &s, FirstFailure &result) {
  if (in_table(s.pulse_mode, PULSE_OUTPUTS)) {
    const PulseOutput &p = PULSE_OUTPUTS[s.pulse_mode];
    result += RM7X0_NAME(set_pls_cfg)(card, axis, p.mode, p.level, p.direction);
  }
  if (in_table(s.encoder_mode, ENCODER_MODES))
    result += RM7X0_NAME(set_enc_cfg)(card, axis, ENCODER_MODES[s.encoder_mode]);
  if (in_table(s.limit_level, LIMIT_LOGICS))
    result += RM7X0_NAME(set_limit)(card, axis, LIMIT_LOGICS[s.limit_level], LIMIT_STOP_DECELERATING);
  result += RM7X0_NAME(set_home_cfg)(card, axis, level_word(s.home_level, HOME_LEVEL_HIGH),
                                     static_cast<uint16_t>(s.near_home_level),
                                     level_word(s.index_level, INDEX_LEVEL_HIGH), 0, 0);
  if (s.soft_limit) {
    result += RM7X0_NAME(set_softlimit)(card, axis, SOFT_LIMIT_ON,
                                        s.soft_limit_source ? SOFT_LIMIT_ENCODER : 0,
                                        static_cast<int32_t>(s.soft_limit_plus),
                                        static_cast<int32_t>(s.soft_limit_minus));
  } else {
    result += RM7X0_NAME(set_softlimit)(card, axis, 0, 0, 0, 0);
  }
  result += RM7X0_NAME(set_inp)(card, axis, s.inp_enable == 1 ? INP_ON : 0,
                                s.inp_level ? INP_HIGH : 0);
  result += RM7X0_NAME(set_alarm)(card, axis, s.alarm_enable == 1 ? ALARM_ON : 0,
                                  s.alarm_level ? ALARM_HIGH : 0);
  // A delay time beyond the eight the filter has leaves the filter as it is.
  if (s.filter_mode == 0 || s.delay_time == 0) {
    result += RM7X0_NAME(set_filter)(card, axis, 0, 0, 0);
  } else if (s.delay_time <= FILTER_DELAYS) {
    result += RM7X0_NAME(set_filter)(card, axis, 1, static_cast<uint16_t>(s.filter_mode << 8),
                                     static_cast<uint16_t>((s.delay_time - 1) * FILTER_DELAY_STEP));
  }
}

// The file's path: the caller's, or the model's default in the Windows
// system folder. False (after telling the user) when there is no Windows folder.
// The caller's path is read through the fault guard a character at a time,
// so that nothing past its terminator is touched: a fault gives -319, a path
// that does not fit -370.
ApiStatus config_path(const char *given, char (&path)[MAX_PATH]) {
  if (given) {
    for (size_t k = 0; k < MAX_PATH; ++k) {
      if (!seh::try_load(path[k], given + k)) return ERROR_ACCESS_VIOLATION_DATA_COPY;
      if (path[k] == '\0') return SUCCESS_NO_ERROR;
    }
    return ERROR_CONFIG_FILE_NOT_FOUND;
  }
  char windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) {
    MessageBoxA(nullptr, "Cannot recognize the SystemRoot", "Error", MB_OK);
    return ERROR_CONFIG_FILE_NOT_FOUND;
  }
  if (std::snprintf(path, sizeof path, DEFAULT_FILE, windows) >= MAX_PATH)
    return ERROR_CONFIG_FILE_NOT_FOUND;
  return SUCCESS_NO_ERROR;
}

bool file_exists(const char *path) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

}  // namespace

// Exported as rm720_load_config and rm730_load_config.
RM7X0_EXPORT ApiStatus RM7X0_NAME(load_config)(const char *path) {
  int16_t count = 0;
  if (const ApiStatus status = RM7X0_NAME(scan)(&count, nullptr)) return status;
  char file[MAX_PATH];
  if (const ApiStatus status = config_path(path, file)) return status;
  if (!file_exists(file)) return ERROR_CONFIG_FILE_NOT_FOUND;

  CardSettings cards[CARD_SLOTS];
  for (int index = 0; index < count; ++index) {
    if (const ApiStatus status = RM7X0_NAME(get_cardinfo)(index, &cards[index].card_id))
      return status;
    if (!read_card(file, &cards[index])) return ERROR_CONFIG_FILE_NOT_FOUND;
  }

  FirstFailure result;
  for (int index = 0; index < count; ++index) {
    const uint8_t card = cards[index].card_id;
    if (!card_is_open(card_table.cards[card])) {
      result += ERROR_CONFIG_CARD_NOT_OPEN;
      break;
    }
    for (int axis = 0; axis < AXES_PER_CARD; ++axis)
      apply_axis(card, static_cast<uint16_t>(1u << axis), cards[index].axes[axis], result);
  }
  return result.status();
}
