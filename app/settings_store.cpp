#include "settings_store.h"

#include <cstring>
#include <iterator>

#include "motion_library.h"

namespace {

// Register words of the configuration exports for the record's settings.
struct PulseOutput {
    uint16_t mode, level, direction;
};
constexpr PulseOutput kPulseOutputs[] = {{0, 0, 0x100},   {0, 0x80, 0x100}, {0x40, 0, 0},
                                         {0x40, 0x80, 0}, {0x40, 0, 0x100}, {0x40, 0x80, 0x100}};
constexpr uint16_t kEncoderModes[] = {0, 0x400, 0x800, 0x200};
constexpr uint16_t kLimitLogics[] = {0, 0x18};
constexpr uint16_t kHomeLevelHigh = 4, kNearHomeLevelHigh = 1, kIndexLevelHigh = 0x10;
constexpr uint16_t kSoftLimitOn = 3, kSoftLimitEncoder = 0x20;
constexpr uint16_t kInpOn = 0x8000, kInpHigh = 0x4000;
constexpr uint16_t kAlarmOn = 0x2000, kAlarmHigh = 0x1000;
constexpr uint16_t kFilterDelays = 8;  // delay indexes 1..8
constexpr uint16_t kFilterDelayStep = 0x2000;
constexpr int kFilterModeShift = 8, kIntFactorShift = 8;

// Model B derives its motion defaults from the axis's limits.
constexpr double kAccFromMin = 1.28;
constexpr double kJerkFromMin = 1.0485609549454329;

template <typename T, size_t N>
bool InTable(int32_t value, const T (&)[N]) {
    return value >= 0 && value < static_cast<int32_t>(N);
}

// A product of the axis's limit, taken as unsigned 32 bits, truncated toward zero.
int32_t Scaled(int32_t limit, double factor) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<uint32_t>(limit) * factor)));
}

bool ValidModel(int model) { return model >= 0 && model < kModelCount; }

}  // namespace

CSettingsStore::CSettingsStore() {
    FillModel(kModelA, &m_nRM720Cards, m_RM720IdTable);
    FillModel(kModelB, &m_nRM730Cards, m_RM730IdTable);
}

// The library answers with the result of the scan it made at start.
void CSettingsStore::FillModel(int model, int16_t* count, uint8_t idTable[kCardSlots]) {
    const MotionLibrary& library = MotionLibraryOf(model);
    ModelSettings& settings = m_Settings[model];
    if (library.scan(count, idTable) != SUCCESS_NO_ERROR) {
        *count = 0;
        return;
    }
    for (int id = 0; id < kCardSlots; ++id) settings.cardPresent[id] |= idTable[id];
    for (int index = 0; index < *count; ++index) {
        uint8_t cardId = 0;
        if (library.get_cardinfo(index, &cardId) != SUCCESS_NO_ERROR) break;
        settings.isModelB = static_cast<uint8_t>(model);
        ResetCardSettings(model, cardId);
        CardSettings* card = Card(model, cardId);
        if (!card) continue;
        for (int axis = 0; axis < kAxesPerCard; ++axis) {
            card->motion[axis] = AxisMotionParams{};
            ReadRangeSettings(model, cardId, m_AxisBits[axis], &card->motion[axis]);
        }
        card->interp = InterpParams{};
    }
}

int CSettingsStore::AxisIndexFromBit(int axisBit) {
    for (int axis = 0; axis < kAxesPerCard; ++axis) {
        if (axisBit & (1 << axis)) return axis;
    }
    return -1;
}

CardSettings* CSettingsStore::Card(int model, int cardId) {
    return const_cast<CardSettings*>(static_cast<const CSettingsStore*>(this)->Card(model, cardId));
}

const CardSettings* CSettingsStore::Card(int model, int cardId) const {
    if (!ValidModel(model) || cardId < 0 || cardId >= kCardSlots) return nullptr;
    return &m_Settings[model].cards[cardId];
}

int16_t CSettingsStore::CardCount(int model) const { return model == kModelA ? m_nRM720Cards : m_nRM730Cards; }

void CSettingsStore::GetAxisConfig(int model, int cardId, int axisBit, AxisConfigRecord* record) const {
    const CardSettings* card = Card(model, cardId);
    const int axis = AxisIndexFromBit(axisBit);
    if (card && axis >= 0 && record) *record = card->axis[axis];
}

void CSettingsStore::SetAxisConfig(int model, int cardId, int axisBit, const AxisConfigRecord& record) {
    CardSettings* card = Card(model, cardId);
    const int axis = AxisIndexFromBit(axisBit);
    if (!card || axis < 0) return;
    AxisConfigRecord& stored = card->axis[axis];
    if (!IsSameAxisConfig(stored, record)) {
        stored = record;
        stored.applied = 0;
    }
    if (stored.applied == 0) ApplyAxisConfig(model, cardId, axisBit);
}

void CSettingsStore::GetAxisMotionParams(int model, int cardId, int axisBit, AxisMotionParams* params) const {
    const CardSettings* card = Card(model, cardId);
    const int axis = AxisIndexFromBit(axisBit);
    if (card && axis >= 0 && params) *params = card->motion[axis];
}

void CSettingsStore::SetAxisMotionParams(int model, int cardId, int axisBit, const AxisMotionParams& params) {
    CardSettings* card = Card(model, cardId);
    const int axis = AxisIndexFromBit(axisBit);
    if (card && axis >= 0) card->motion[axis] = params;
}

void CSettingsStore::GetInterpParams(int model, int cardId, InterpParams* params) const {
    const CardSettings* card = Card(model, cardId);
    if (card && params) *params = card->interp;
}

void CSettingsStore::SetInterpParams(int model, int cardId, const InterpParams& params) {
    CardSettings* card = Card(model, cardId);
    if (card && !IsSameInterpParams(card->interp, params)) card->interp = params;
}

int CSettingsStore::IsSameAxisConfig(const AxisConfigRecord& a, const AxisConfigRecord& b) {
    AxisConfigRecord comparable = b;
    comparable.filterMode = a.filterMode;
    comparable.intFactor = a.intFactor;
    comparable.applied = a.applied;
    return a == comparable;
}

int CSettingsStore::IsSameInterpParams(const InterpParams& a, const InterpParams& b) {
    InterpParams comparable = b;
    comparable.moving = a.moving;
    return a == comparable;
}

void CSettingsStore::ResetCardSettings(int model, int cardId) {
    CardSettings* card = Card(model, cardId);
    if (!card) return;
    const MotionLibrary& library = MotionLibraryOf(m_Settings[model].isModelB);
    for (int axis = 0; axis < kAxesPerCard; ++axis) {
        AxisConfigRecord& record = card->axis[axis];
        record = AxisConfigRecord{};
        uint8_t servo = 0;
        const bool read = library.get_out1_status(static_cast<uint8_t>(cardId), m_AxisBits[axis], &servo) ==
                          SUCCESS_NO_ERROR;
        record.servoOn = read && servo == 1 ? 1 : 0;
    }
}

void CSettingsStore::ReadRangeSettings(int model, int cardId, int axisBit, AxisMotionParams* params) const {
    int32_t limits[kRangeSettings] = {params->jerkMax, params->jerkMin, params->accMin,
                                      params->accMax,  params->speedMin, params->speedMax};
    MotionLibraryOf(model).get_range_settings(static_cast<uint8_t>(cardId), static_cast<uint16_t>(axisBit),
                                              limits);
    params->jerkMax = limits[0];
    params->jerkMin = limits[1];
    params->accMin = limits[2];
    params->accMax = limits[3];
    params->speedMin = limits[4];
    params->speedMax = limits[5];
}

void CSettingsStore::DeriveModelBDefaults(CardSettings* card, int axis) {
    AxisMotionParams& motion = card->motion[axis];
    motion.sv = Scaled(motion.speedMin, 20);
    motion.dv = Scaled(motion.speedMin, 100);
    motion.hv = Scaled(motion.speedMin, 16);
    motion.acc = motion.dec = Scaled(motion.accMin, kAccFromMin);
    motion.jerk = motion.decRate = Scaled(motion.jerkMin, kJerkFromMin);
    InterpParams& interp = card->interp;
    interp.sv = Scaled(motion.speedMin, 10);
    interp.v = Scaled(motion.speedMin, 100);
    interp.acc = interp.dec = Scaled(motion.accMin, kAccFromMin);
    interp.jerk = interp.decRate = Scaled(motion.jerkMin, kJerkFromMin);
}

void CSettingsStore::ApplyAxisConfig(int model, int cardId, int axisBit) {
    CardSettings* card = Card(model, cardId);
    const int axis = AxisIndexFromBit(axisBit);
    if (!card || axis < 0) return;
    AxisConfigRecord& r = card->axis[axis];
    const MotionLibrary& library = MotionLibraryOf(model);
    const auto id = static_cast<uint8_t>(cardId);
    const auto bit = static_cast<uint16_t>(1 << axis);

    if (model == kModelB) {
        library.set_alarm_reset(id, bit, r.almRstEnable == 1);
        library.set_gdo(id, bit, r.gdoEnable == 1);
        // The ERC button switches the output by ercEnable; an apply never
        // switches on what the record has off.
        library.set_erc(id, bit, r.ercEnable == 1 && r.ercLevel != 0);
    }
    if (InTable(r.pulseMode, kPulseOutputs)) {
        const PulseOutput& p = kPulseOutputs[r.pulseMode];
        library.set_pls_cfg(id, bit, p.mode, p.level, p.direction);
    }
    if (InTable(r.encMode, kEncoderModes)) library.set_enc_cfg(id, bit, kEncoderModes[r.encMode]);
    if (InTable(r.limitLevel, kLimitLogics)) library.set_limit(id, bit, kLimitLogics[r.limitLevel], 0);
    library.set_home_cfg(id, bit, r.homeLevel == 1 ? kHomeLevelHigh : 0, r.nearHomeLevel == 1 ? kNearHomeLevelHigh : 0,
                         r.indexLevel == 1 ? kIndexLevelHigh : 0, 0, 0);
    if (r.softLimitEnable == 1)
        library.set_softlimit(id, bit, kSoftLimitOn, r.softLimitSource ? kSoftLimitEncoder : 0, r.softLimitPlus,
                              r.softLimitMinus);
    else
        library.set_softlimit(id, bit, 0, 0, 0, 0);
    library.set_inp(id, bit, r.inpEnable == 1 ? kInpOn : 0, r.inpLevel ? kInpHigh : 0);
    library.set_alarm(id, bit, r.almEnable == 1 ? kAlarmOn : 0, r.almLevel ? kAlarmHigh : 0);
    if (r.delayTime == 0 || r.filterMode == 0)
        library.set_filter(id, bit, 0, 0, 0);
    else if (r.delayTime <= kFilterDelays)
        library.set_filter(id, bit, 1, static_cast<uint16_t>(r.filterMode << kFilterModeShift),
                           static_cast<uint16_t>((r.delayTime - 1) * kFilterDelayStep));
    library.set_int_factor(id, bit, static_cast<uint16_t>((r.intFactor & 0xFF) << kIntFactorShift));
    library.set_range(id, bit, static_cast<uint32_t>(r.rangeValue));
    ReadRangeSettings(model, cardId, bit, &card->motion[axis]);
    if (model == kModelB) DeriveModelBDefaults(card, axis);
    r.applied = 1;
}

void CSettingsStore::SetTorixDoShadow(int group, uint16_t word) {
    if (group >= 0 && group < static_cast<int>(std::size(m_TorixDoShadow))) m_TorixDoShadow[group] = word;
}

void CSettingsStore::GetTorixDoShadow(int group, uint16_t* word) const {
    if (!word) return;
    const bool inTable = group >= 0 && group < static_cast<int>(std::size(m_TorixDoShadow));
    *word = inTable ? m_TorixDoShadow[group] : 0;
}

void CSettingsStore::ClearTorixDoShadow() { std::memset(m_TorixDoShadow, 0, sizeof m_TorixDoShadow); }
