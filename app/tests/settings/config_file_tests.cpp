// The INI files: store -> file -> store round trips, the motion libraries'
// loaders reading the files the program wrote, and bad or missing files and values.
#include <climits>

#include "message_box_watcher.h"
#include "settings_fixture.h"

namespace {

constexpr int kSoftLimitPlusBit = 0x01;

const char* const kIncompatibleA =
    "The Hardware configuration is not compatible with the Configuration file\n Please check the CARD ID in "
    "VEXA-RM720 Cards ";

// A record of every saved field set apart from its default; axis 0..3 varies it.
AxisConfigRecord DistinctConfig(int axis) {
    AxisConfigRecord r;
    r.rangeValue = 32000 * (axis + 1);
    r.pulseMode = 5 - axis;
    r.encMode = axis;
    r.limitLevel = r.homeLevel = r.nearHomeLevel = r.indexLevel = 1;
    r.softLimitEnable = axis % 2 == 0 ? 1 : 0;
    r.softLimitSource = 1;
    r.softLimitPlus = 5000 + axis;
    r.softLimitMinus = -7000 - axis;
    r.almEnable = r.almLevel = r.inpEnable = r.inpLevel = r.in3Enable = r.in3Level = 1;
    r.almRstEnable = r.gdoEnable = r.ercEnable = r.ercLevel = 1;
    r.ercDelayTime = static_cast<uint16_t>(60000 + axis);
    r.filterFlag[0] = r.filterFlag[2] = 1;
    r.filterMode = 0x05;
    r.delayTime = static_cast<uint16_t>(axis + 1);
    return r;
}

// Sets the axes' records of a card in the store without applying them.
void StoreDistinctCard(CSettingsStore& store, int model, int cardId) {
    CardSettings& card = store.m_Settings[model].cards[cardId];
    for (int axis = 0; axis < kAxesPerCard; ++axis) {
        card.axis[axis] = DistinctConfig(axis);
        AxisMotionParams& m = card.motion[axis];
        m.sv = 100 + axis;
        m.dv = 200 + axis;
        m.acc = 300 + axis;
        m.dec = 400 + axis;
        m.jerk = 500 + axis;
        m.decRate = 600 + axis;
        m.outputPulse = -700 - axis;
    }
}

// Back to the defaults on the card, so that the next test starts from them.
void ApplyDefaults(CSettingsStore& store, int model, int cardId) {
    for (const int axisBit : {kAxisX, kAxisY, kAxisZ, kAxisU}) store.SetAxisConfig(model, cardId, axisBit, {});
}

// One store saves a card of distinct values and a fresh store loads the file,
// as the program does at its next start.
class ConfigFileRoundTrip : public testing::Test {
protected:
    void SaveAndLoad(int model, int cardId) {
        m_model = model;
        m_cardId = cardId;
        StoreDistinctCard(m_saver, model, cardId);
        const char* path = m_file.path();
        ASSERT_TRUE(model == kModelA ? m_saver.SaveRM720Config(path) : m_saver.SaveRM730Config(path));
        ASSERT_TRUE(model == kModelA ? m_loader.LoadRM720Config(path) : m_loader.LoadRM730Config(path));
    }
    void TearDown() override { ApplyDefaults(m_loader, m_model, m_cardId); }

    const CardSettings& Loaded() const { return m_loader.m_Settings[m_model].cards[m_cardId]; }
    // The saved record as a load gives it back: the limits of an axis saved
    // with them off stay as the loading store had them, and a model-A file
    // has no model-B output keys.
    AxisConfigRecord Expected(int axis) const {
        AxisConfigRecord r = DistinctConfig(axis);
        const AxisConfigRecord defaults;
        if (!r.softLimitEnable) {
            r.softLimitSource = defaults.softLimitSource;
            r.softLimitPlus = defaults.softLimitPlus;
            r.softLimitMinus = defaults.softLimitMinus;
        }
        if (m_model == kModelA) {
            r.almRstEnable = r.gdoEnable = r.ercEnable = r.ercLevel = 0;
            r.ercDelayTime = 0;
        }
        r.servoOn = Loaded().axis[axis].servoOn;
        r.applied = 1;
        return r;
    }

    TestFile m_file{"trip"};
    CSettingsStore m_saver, m_loader;
    int m_model = kModelA, m_cardId = kCardA;
};

TEST_F(ConfigFileRoundTrip, ModelAKeepsEveryValueAndTheMotionKeys) {
    SaveAndLoad(kModelA, kCardA);
    const CardSettings& loaded = Loaded();
    for (int axis = 0; axis < kAxesPerCard; ++axis) {
        SCOPED_TRACE(axis);
        EXPECT_EQ(loaded.axis[axis], Expected(axis));
        EXPECT_EQ(loaded.motion[axis].sv, 100 + axis);
        EXPECT_EQ(loaded.motion[axis].decRate, 600 + axis);
        EXPECT_EQ(loaded.motion[axis].outputPulse, -700 - axis);
        // Applied at once: the card runs in the loaded range.
        EXPECT_EQ(SpeedMax(kModelA, kCardA, 1 << axis), 2000000 / (axis + 1));
    }
    const std::string text = m_file.Text();
    EXPECT_NE(text.find("[CardNo:0]"), std::string::npos);
    EXPECT_NE(text.find("X-SLIMIT_PLUS=5000"), std::string::npos);
    EXPECT_EQ(text.find("Y-SLIMIT_"), std::string::npos);
    EXPECT_NE(text.find("X-ALM_LEVE=1"), std::string::npos);
    // The line break written after some values is the platform's to lay out.
    EXPECT_NE(text.find("X-FILTER_MODE=5\r\nX-DELAY_TIME=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("X-OUTPUT_PULSE=-700\r\n"), std::string::npos);
    EXPECT_EQ(text.find("ERC"), std::string::npos);
    EXPECT_EQ(text.find("CardNo:1"), std::string::npos);  // the model-B card is not in it
}

TEST_F(ConfigFileRoundTrip, ModelBKeepsItsOutputKeysAndHasNoMotionKeys) {
    SaveAndLoad(kModelB, kCardB);
    const CardSettings& loaded = Loaded();
    for (int axis = 0; axis < kAxesPerCard; ++axis) {
        SCOPED_TRACE(axis);
        EXPECT_EQ(loaded.axis[axis], Expected(axis));
        // No motion keys: the model-B motion values follow the loaded range.
        EXPECT_EQ(loaded.motion[axis].sv, loaded.motion[axis].speedMin * 20);
    }
    const std::string text = m_file.Text();
    EXPECT_NE(text.find("[CardNo:1]"), std::string::npos);
    EXPECT_NE(text.find("U-AlmRst_EN=1\r\nU-GDO_EN=1\r\nU-ERC_EN=1\r\nU-ERC_LEVEL=1\r\nU-ERC_DELAY_TIME=60003"),
              std::string::npos);
    EXPECT_EQ(text.find("-SV="), std::string::npos);
}

TEST(ConfigFile, SavingAgainLeavesNothingOfTheOldFile) {
    TestFile file("again");
    CSettingsStore store;
    StoreDistinctCard(store, kModelA, kCardA);
    ASSERT_TRUE(store.SaveRM720Config(file.path()));
    ASSERT_NE(file.Text().find("X-SLIMIT_SRC"), std::string::npos);
    ::WritePrivateProfileStringA("Stranger", "key", "1", file.path());
    store.m_Settings[kModelA].cards[kCardA].axis[0].softLimitEnable = 0;
    ASSERT_TRUE(store.SaveRM720Config(file.path()));
    const std::string text = file.Text();
    EXPECT_EQ(text.find("X-SLIMIT_SRC"), std::string::npos);
    EXPECT_EQ(text.find("Stranger"), std::string::npos);
    EXPECT_NE(text.find("X-PULSE_MODE=5"), std::string::npos);
}

// The default files in the Windows system folder of the prefix, written
// through Wine, read by the libraries through their own profile reader.
TEST(ConfigFile, LibraryLoadersApplyTheFilesTheProgramWrote) {
    for (const int model : {kModelA, kModelB}) {
        SCOPED_TRACE(model);
        const int cardId = model == kModelA ? kCardA : kCardB;
        char path[MAX_PATH];
        ASSERT_TRUE(CSettingsStore::DefaultConfigPath(model, path));
        EXPECT_STREQ(path, model == kModelA ? "C:\\windows\\system32\\RM720_Config.ini"
                                            : "C:\\windows\\system32\\RM730_Config.ini");
        CSettingsStore store;
        ApplyDefaults(store, model, cardId);
        ASSERT_EQ(ErrorStatus(model, cardId, kAxisX) & kSoftLimitPlusBit, 0);
        // Stored, not applied: only the library's loader can put it on the card.
        AxisConfigRecord& x = store.m_Settings[model].cards[cardId].axis[0];
        x.softLimitEnable = 1;
        x.softLimitPlus = -1;
        x.softLimitMinus = -50;
        x.delayTime = 2;
        x.filterMode = 0x1F;
        ASSERT_TRUE(model == kModelA ? store.SaveRM720Config(path) : store.SaveRM730Config(path));
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);

        const ApiStatus status = model == kModelA ? rm720_load_config(nullptr) : rm730_load_config(nullptr);
        EXPECT_EQ(status, SUCCESS_NO_ERROR);
        EXPECT_EQ(ErrorStatus(model, cardId, kAxisX) & kSoftLimitPlusBit, kSoftLimitPlusBit);
        ApplyDefaults(store, model, cardId);
        ::DeleteFileA(path);
    }
}

TEST(ConfigFile, AFileWithoutASectionForACardFoundChangesNothing) {
    TestFile file("stranger");
    CSettingsStore other;
    StoreDistinctCard(other, kModelA, kCardA);
    ASSERT_TRUE(other.SaveRM720Config(file.path()));
    ::WritePrivateProfileStringA("CardNo:0", "Z-PULSE_MODE", nullptr, file.path());

    CSettingsStore store;
    const CardSettings before = store.m_Settings[kModelA].cards[kCardA];
    MessageBoxWatcher watcher;
    EXPECT_FALSE(store.LoadRM720Config(file.path()));
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, kIncompatibleA);
    EXPECT_EQ(store.m_Settings[kModelA].cards[kCardA].axis[0], before.axis[0]);
    EXPECT_EQ(SpeedMax(kModelA, kCardA, kAxisX), 4000000);

    // A missing file is one without sections.
    TestFile missing("missing");
    EXPECT_FALSE(store.LoadRM730Config(missing.path()));
    ASSERT_EQ(watcher.Seen().size(), 2u);
    EXPECT_NE(watcher.Seen()[1].text.find("VEXA-RM730 Cards "), std::string::npos);
    // An empty path loads nothing and says nothing.
    EXPECT_FALSE(store.LoadRM720Config(""));
    EXPECT_FALSE(store.LoadRM720Config(nullptr));
    EXPECT_EQ(watcher.Seen().size(), 2u);
}

TEST(ConfigFile, ValuesAreReadAsTheNumbersTheyStartWith) {
    TestFile file("values");
    CSettingsStore saver;
    ASSERT_TRUE(saver.SaveRM720Config(file.path()));
    // A section of a card that is not there is ignored.
    ::WritePrivateProfileStringA("CardNo:9", "X-PULSE_MODE", "3", file.path());
    const struct {
        const char* key;
        const char* value;  // null: the key is removed
    } edits[] = {
        {"X-ENC_MODE", "abc"},       {"X-LMT_LEVEL", " 1xyz"},      {"X-RANGE_VALUE", nullptr},
        {"X-DELAY_TIME", "65539"},   {"X-FILTER_MODE", "-1"},       {"X-SLIMIT_SRC", "1"},
        {"X-SLIMIT_PLUS", "99999999999"}, {"X-SLIMIT_MINUS", "-99999999999"},
        {"Y-SLIMIT_SRC", "0"},       {"Y-SLIMIT_MINUS", "7"},       {"Z-ALM_EN", ""},
        {"U-SV", "12\r\n"},
    };
    for (const auto& edit : edits) ::WritePrivateProfileStringA("CardNo:0", edit.key, edit.value, file.path());

    CSettingsStore store;
    store.m_Settings[kModelA].cards[kCardA].axis[1].softLimitMinus = 42;
    store.m_Settings[kModelA].cards[kCardA].axis[2].almEnable = 1;
    ASSERT_TRUE(store.LoadRM720Config(file.path()));
    const CardSettings& card = store.m_Settings[kModelA].cards[kCardA];
    EXPECT_EQ(card.axis[0].encMode, 0);
    EXPECT_EQ(card.axis[0].limitLevel, 1);
    EXPECT_EQ(card.axis[0].rangeValue, 0);
    EXPECT_EQ(card.axis[0].delayTime, 3);  // the low 16 bits
    EXPECT_EQ(card.axis[0].filterMode, 0xFFFF);
    EXPECT_EQ(card.axis[0].filterFlag[4], 1);
    EXPECT_EQ(card.axis[0].softLimitEnable, 1);
    EXPECT_EQ(card.axis[0].softLimitPlus, INT32_MAX);
    EXPECT_EQ(card.axis[0].softLimitMinus, INT32_MIN);
    // Y: no plus key, so the limits are off and the store keeps its values.
    EXPECT_EQ(card.axis[1].softLimitEnable, 0);
    EXPECT_EQ(card.axis[1].softLimitMinus, 42);
    EXPECT_EQ(card.axis[2].almEnable, 0);
    EXPECT_EQ(card.motion[3].sv, 12);
    // The range 0 was refused by the card, which kept its range.
    EXPECT_EQ(SpeedMax(kModelA, kCardA, kAxisX), 4000000);
    ApplyDefaults(store, kModelA, kCardA);
}

TEST(ConfigFile, SavingWhereNoFileCanBeSaysSo) {
    CSettingsStore store;
    EXPECT_FALSE(store.SaveRM720Config("C:\\no-such-folder-rm7x0\\RM720_Config.ini"));
    EXPECT_FALSE(store.SaveRM730Config(""));
}

}  // namespace
