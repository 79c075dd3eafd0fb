// The INI file of each model: one section "CardNo:<card ID>" per card found,
// one key "<axis letter>-<name>" per axis setting, decimal values. Written and
// read with the private-profile functions; the motion libraries' loaders read
// the hardware keys of the same files.
#include <afxwin.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "motion_library.h"
#include "settings_store.h"

namespace {

constexpr char kAxisLetters[] = "XYZU";
constexpr DWORD kValueBuffer = 20;  // characters, terminator included

// An axis's records, where its keys' values live.
struct AxisRecords {
    AxisConfigRecord* config;
    AxisMotionParams* motion;
};

enum class KeyModels { kBoth, kModelAOnly, kModelBOnly };

struct IniKey {
    const char* name;
    KeyModels models;
    // The value is written with a line break after it ("%d\r\n"), which shows
    // as an empty line after the key; readers get the number alone.
    bool lineBreak;
    // One of the three software-limit keys: written only while the limits are on.
    bool softLimit;
    int32_t (*get)(const AxisRecords&);
    void (*set)(const AxisRecords&, int32_t);  // a 16-bit field takes the low 16 bits
};

template <auto Field>
constexpr IniKey ConfigKey(const char* name, KeyModels models = KeyModels::kBoth, bool lineBreak = false,
                           bool softLimit = false) {
    return {name, models, lineBreak, softLimit,
            [](const AxisRecords& a) -> int32_t { return a.config->*Field; },
            [](const AxisRecords& a, int32_t value) {
                a.config->*Field = static_cast<std::remove_reference_t<decltype(a.config->*Field)>>(value);
            }};
}

template <auto Field>
constexpr IniKey MotionKey(const char* name) {
    return {name, KeyModels::kModelAOnly, true, false,
            [](const AxisRecords& a) -> int32_t { return a.motion->*Field; },
            [](const AxisRecords& a, int32_t value) { a.motion->*Field = value; }};
}

constexpr KeyModels kBoth = KeyModels::kBoth, kModelBOnly = KeyModels::kModelBOnly;

// Every key of an axis, in the order written; "ALM_LEVE" is the files' spelling.
constexpr IniKey kKeys[] = {
    ConfigKey<&AxisConfigRecord::rangeValue>("RANGE_VALUE"),
    ConfigKey<&AxisConfigRecord::pulseMode>("PULSE_MODE"),
    ConfigKey<&AxisConfigRecord::encMode>("ENC_MODE"),
    ConfigKey<&AxisConfigRecord::limitLevel>("LMT_LEVEL"),
    ConfigKey<&AxisConfigRecord::homeLevel>("HOME_LEVEL"),
    ConfigKey<&AxisConfigRecord::nearHomeLevel>("NRHOME_LEVEL"),
    ConfigKey<&AxisConfigRecord::indexLevel>("INDEX_LEVEL"),
    ConfigKey<&AxisConfigRecord::softLimitSource>("SLIMIT_SRC", kBoth, false, true),
    ConfigKey<&AxisConfigRecord::softLimitPlus>("SLIMIT_PLUS", kBoth, false, true),
    ConfigKey<&AxisConfigRecord::softLimitMinus>("SLIMIT_MINUS", kBoth, false, true),
    ConfigKey<&AxisConfigRecord::inpEnable>("INP_EN"),
    ConfigKey<&AxisConfigRecord::inpLevel>("INP_LEVEL"),
    ConfigKey<&AxisConfigRecord::almRstEnable>("AlmRst_EN", kModelBOnly),
    ConfigKey<&AxisConfigRecord::gdoEnable>("GDO_EN", kModelBOnly),
    ConfigKey<&AxisConfigRecord::ercEnable>("ERC_EN", kModelBOnly),
    ConfigKey<&AxisConfigRecord::ercLevel>("ERC_LEVEL", kModelBOnly),
    ConfigKey<&AxisConfigRecord::ercDelayTime>("ERC_DELAY_TIME", kModelBOnly),
    ConfigKey<&AxisConfigRecord::in3Enable>("IN3_EN"),
    ConfigKey<&AxisConfigRecord::in3Level>("IN3_LEVEL"),
    ConfigKey<&AxisConfigRecord::almEnable>("ALM_EN"),
    ConfigKey<&AxisConfigRecord::almLevel>("ALM_LEVE"),
    ConfigKey<&AxisConfigRecord::filterMode>("FILTER_MODE"),
    ConfigKey<&AxisConfigRecord::delayTime>("DELAY_TIME", kBoth, true),
    MotionKey<&AxisMotionParams::sv>("SV"),
    MotionKey<&AxisMotionParams::dv>("DV"),
    MotionKey<&AxisMotionParams::acc>("ACC"),
    MotionKey<&AxisMotionParams::dec>("DEC"),
    MotionKey<&AxisMotionParams::jerk>("JERK"),
    MotionKey<&AxisMotionParams::decRate>("DEC_RATE"),
    MotionKey<&AxisMotionParams::outputPulse>("OUTPUT_PULSE"),
};
constexpr int kKeyCount = static_cast<int>(std::size(kKeys));
constexpr int kPulseModeKey = 1;

bool KeyOfModel(const IniKey& key, int model) {
    return key.models == KeyModels::kBoth || (key.models == KeyModels::kModelAOnly) == (model == kModelA);
}

const char* IncompatibleFileMessage(int model) {
    return model == kModelA ? "The Hardware configuration is not compatible with the Configuration file\n"
                              " Please check the CARD ID in VEXA-RM720 Cards "
                            : "The Hardware configuration is not compatible with the Configuration file\n"
                              " Please check the CARD ID in VEXA-RM730 Cards ";
}

// One axis's keys in one card's section of a file.
class AxisSection {
public:
    AxisSection(const char* path, uint8_t cardId, int axis) : m_path(path), m_letter(kAxisLetters[axis]) {
        std::snprintf(m_section, sizeof m_section, "CardNo:%d", cardId);
    }

    BOOL Write(const IniKey& key, int32_t value) const {
        char text[kValueBuffer];
        std::snprintf(text, sizeof text, key.lineBreak ? "%d\r\n" : "%d", value);
        return ::WritePrivateProfileStringA(m_section, KeyName(key).name, text, m_path);
    }

    // False when the key is missing or empty.
    bool Read(const IniKey& key, int32_t* value) const {
        char text[kValueBuffer] = "";
        ::GetPrivateProfileStringA(m_section, KeyName(key).name, "", text, sizeof text, m_path);
        *value = LeadingNumber(text);
        return text[0] != '\0';
    }

private:
    struct Name {
        char name[32];
    };
    Name KeyName(const IniKey& key) const {
        Name name;
        std::snprintf(name.name, sizeof name.name, "%c-%s", m_letter, key.name);
        return name;
    }

    // The signed decimal number the text starts with (blanks skipped), 0 when
    // it starts with none; beyond 32 bits it is the nearest 32-bit value.
    static int32_t LeadingNumber(const char* text) {
        const long long value = std::strtoll(text, nullptr, 10);
        if (value > INT32_MAX) return INT32_MAX;
        if (value < INT32_MIN) return INT32_MIN;
        return static_cast<int32_t>(value);
    }

    const char* m_path;
    char m_section[16];
    char m_letter;
};

// The values of one axis as a file holds them; missing keys read 0.
struct LoadedAxis {
    int32_t values[kKeyCount] = {};
    bool softLimitEnable = false;
};

// False when the axis has no pulse mode: the file does not describe this card.
bool ReadAxis(const AxisSection& section, int model, LoadedAxis* axis) {
    if (!section.Read(kKeys[kPulseModeKey], &axis->values[kPulseModeKey])) return false;
    // The software limits count only when their three keys are there; the keys
    // after an empty one are not read.
    bool softLimitKeys = true;
    for (int k = 0; k < kKeyCount; ++k) {
        const IniKey& key = kKeys[k];
        if (k == kPulseModeKey || !KeyOfModel(key, model)) continue;
        if (!key.softLimit)
            section.Read(key, &axis->values[k]);
        else if (softLimitKeys)
            softLimitKeys = section.Read(key, &axis->values[k]);
    }
    axis->softLimitEnable = softLimitKeys;
    return true;
}

void StoreAxis(const LoadedAxis& loaded, int model, const AxisRecords& records) {
    records.config->softLimitEnable = loaded.softLimitEnable ? 1 : 0;
    for (int k = 0; k < kKeyCount; ++k) {
        const IniKey& key = kKeys[k];
        // With the limits off the store keeps its limit values.
        if (!KeyOfModel(key, model) || (key.softLimit && !loaded.softLimitEnable)) continue;
        key.set(records, loaded.values[k]);
    }
    for (int group = 0; group < kFilterGroups; ++group)
        records.config->filterFlag[group] = (records.config->filterMode >> group) & 1;
}

}  // namespace

BOOL CSettingsStore::DefaultConfigPath(int model, char (&path)[MAX_PATH]) {
    char windows[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return FALSE;
    const int written = std::snprintf(path, sizeof path, model == kModelA ? "%s\\system32\\RM720_Config.ini"
                                                                          : "%s\\system32\\RM730_Config.ini",
                                      windows);
    return written > 0 && written < static_cast<int>(sizeof path);
}

BOOL CSettingsStore::SaveRM720Config(const char* path) { return SaveConfig(kModelA, path); }
BOOL CSettingsStore::SaveRM730Config(const char* path) { return SaveConfig(kModelB, path); }
BOOL CSettingsStore::LoadRM720Config(const char* path) { return LoadConfig(kModelA, path); }
BOOL CSettingsStore::LoadRM730Config(const char* path) { return LoadConfig(kModelB, path); }

BOOL CSettingsStore::SaveConfig(int model, const char* path) {
    if (!path || !*path) return FALSE;
    // The file holds only what follows. The profile functions may keep a copy
    // of the old file: flushing it first keeps its sections from coming back.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    ::DeleteFileA(path);
    const MotionLibrary& library = MotionLibraryOf(model);
    for (int index = 0; index < CardCount(model); ++index) {
        uint8_t cardId = 0;
        if (library.get_cardinfo(index, &cardId) != SUCCESS_NO_ERROR) break;
        CardSettings* card = Card(model, cardId);
        if (!card) continue;
        for (int axis = 0; axis < kAxesPerCard; ++axis) {
            const AxisRecords records{&card->axis[axis], &card->motion[axis]};
            const AxisSection section(path, cardId, axis);
            for (const IniKey& key : kKeys) {
                if (!KeyOfModel(key, model) || (key.softLimit && records.config->softLimitEnable == 0)) continue;
                if (!section.Write(key, key.get(records))) return FALSE;
            }
        }
    }
    return TRUE;
}

BOOL CSettingsStore::LoadConfig(int model, const char* path) {
    if (!path || !*path) return FALSE;
    const MotionLibrary& library = MotionLibraryOf(model);
    struct LoadedCard {
        uint8_t id = 0;
        LoadedAxis axis[kAxesPerCard];
    };
    LoadedCard cards[kCardSlots];
    int count = 0;
    for (; count < CardCount(model) && count < kCardSlots; ++count) {
        LoadedCard& card = cards[count];
        if (library.get_cardinfo(count, &card.id) != SUCCESS_NO_ERROR || !Card(model, card.id)) break;
        for (int axis = 0; axis < kAxesPerCard; ++axis) {
            if (!ReadAxis(AxisSection(path, card.id, axis), model, &card.axis[axis])) {
                AfxMessageBox(IncompatibleFileMessage(model));
                return FALSE;
            }
        }
    }
    for (int index = 0; index < count; ++index) {
        CardSettings* card = Card(model, cards[index].id);
        for (int axis = 0; axis < kAxesPerCard; ++axis) {
            StoreAxis(cards[index].axis[axis], model, {&card->axis[axis], &card->motion[axis]});
            ApplyAxisConfig(model, cards[index].id, m_AxisBits[axis]);
        }
    }
    return TRUE;
}
