// The Load Config and Save Config buttons' work: the questions and file
// dialogs they show, answered as a user would, and the files they leave.
#include "config_file_buttons.h"

#include <cstdio>
#include <string>

#include "message_box_watcher.h"
#include "settings_fixture.h"

namespace {

const char* const kSaveQuestion =
    "Save the current settings as the default RM720_Config.ini file for Kavrel?\n\n Y : Save for Auto-load\n N : "
    "Type a New Name for Manual-load";

bool FileExists(const char* path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::string DefaultPath(int model) {
    char path[MAX_PATH] = "";
    CSettingsStore::DefaultConfigPath(model, path);
    return path;
}

// The default file of a model, removed before and after the test.
class DefaultFile {
public:
    explicit DefaultFile(int model) : m_path(DefaultPath(model)) { Remove(); }
    ~DefaultFile() { Remove(); }
    const char* path() const { return m_path.c_str(); }
    bool Has(const char* keyLine) const {
        char value[32] = "";
        const std::string line = keyLine;
        const size_t equals = line.find('=');
        ::GetPrivateProfileStringA(m_section.c_str(), line.substr(0, equals).c_str(), "", value, sizeof value,
                                   m_path.c_str());
        return line.substr(equals + 1) == value;
    }
    std::string m_section = "CardNo:0";

private:
    void Remove() const {
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_path.c_str());
        ::DeleteFileA(m_path.c_str());
    }
    std::string m_path;
};

AxisConfigRecord Stored(const CSettingsStore& store, int model, int cardId, int axisBit) {
    AxisConfigRecord record;
    store.GetAxisConfig(model, cardId, axisBit, &record);
    return record;
}

TEST(SaveConfigButton, ModelBStoresThePagesRecordAndWritesTheDefaultFile) {
    DefaultFile file(kModelB);
    file.m_section = "CardNo:1";
    CSettingsStore store;
    AxisConfigRecord shown = Stored(store, kModelB, kCardB, kAxisY);
    shown.pulseMode = 3;
    MessageBoxWatcher watcher;
    EXPECT_TRUE(SaveConfigAsked(store, kModelB, kCardB, kAxisY, shown));
    EXPECT_TRUE(watcher.Seen().empty());
    EXPECT_TRUE(file.Has("Y-PULSE_MODE=3"));
    EXPECT_EQ(Stored(store, kModelB, kCardB, kAxisY).pulseMode, 3);
    EXPECT_EQ(Stored(store, kModelB, kCardB, kAxisY).applied, 1);
    store.SetAxisConfig(kModelB, kCardB, kAxisY, {});
}

TEST(SaveConfigButton, ModelAAsksWhetherToSaveTheDefaultFile) {
    DefaultFile file(kModelA);
    CSettingsStore store;
    AxisConfigRecord shown = Stored(store, kModelA, kCardA, kAxisZ);
    shown.encMode = 2;
    MessageBoxWatcher watcher({{"Save Configuration Type", IDYES, ""}});
    EXPECT_TRUE(SaveConfigAsked(store, kModelA, kCardA, kAxisZ, shown));
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, kSaveQuestion);
    EXPECT_TRUE(file.Has("Z-ENC_MODE=2"));
    store.SetAxisConfig(kModelA, kCardA, kAxisZ, {});
}

// No to the default file: a cancelled file dialog saves and stores nothing;
// a typed name gets the file.
TEST(SaveConfigButton, ModelASavesUnderTheNameTheUserTypes) {
    DefaultFile defaultFile(kModelA);
    TestFile named("named");
    CSettingsStore store;
    AxisConfigRecord shown = Stored(store, kModelA, kCardA, kAxisU);
    shown.limitLevel = 1;
    {
        MessageBoxWatcher watcher({{"Save Configuration Type", IDNO, ""}, {"Save As", IDCANCEL, ""}});
        EXPECT_FALSE(SaveConfigAsked(store, kModelA, kCardA, kAxisU, shown));
        EXPECT_EQ(watcher.Seen().size(), 2u);
        EXPECT_EQ(Stored(store, kModelA, kCardA, kAxisU).limitLevel, 0);
    }
    MessageBoxWatcher watcher({{"Save Configuration Type", IDNO, ""}, {"Save As", IDOK, named.path()}});
    EXPECT_TRUE(SaveConfigAsked(store, kModelA, kCardA, kAxisU, shown));
    EXPECT_NE(named.Text().find("U-LMT_LEVEL=1"), std::string::npos);
    EXPECT_FALSE(FileExists(defaultFile.path()));
    store.SetAxisConfig(kModelA, kCardA, kAxisU, {});
}

// A bare name typed into the file dialog of "No" lands beside the default file.
TEST(SaveConfigButton, ModelANameDialogOpensInTheSystemFolder) {
    DefaultFile defaultFile(kModelA);
    char name[64];
    std::snprintf(name, sizeof name, "RM720_Config_V%lu.ini", static_cast<unsigned long>(::GetCurrentProcessId()));
    const std::string inSystemFolder = DefaultPath(kModelA).substr(0, DefaultPath(kModelA).rfind('\\') + 1) + name;
    CSettingsStore store;
    MessageBoxWatcher watcher({{"Save Configuration Type", IDNO, ""}, {"Save As", IDOK, name}});
    EXPECT_TRUE(SaveConfigAsked(store, kModelA, kCardA, kAxisX, Stored(store, kModelA, kCardA, kAxisX)));
    EXPECT_TRUE(FileExists(inSystemFolder.c_str())) << inSystemFolder;
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, inSystemFolder.c_str());
    ::DeleteFileA(inSystemFolder.c_str());
}

// A file that cannot be written (here a folder stands at its path) is reported,
// for both models, and the save answers failure.
TEST(SaveConfigButton, AFailedSaveSaysSo) {
    for (int model : {kModelA, kModelB}) {
        DefaultFile file(model);
        ASSERT_TRUE(::CreateDirectoryA(file.path(), nullptr));
        CSettingsStore store;
        const int card = model == kModelA ? kCardA : kCardB;
        MessageBoxWatcher watcher({{"Save Configuration Type", IDYES, ""}});
        EXPECT_FALSE(SaveConfigAsked(store, model, card, kAxisX, Stored(store, model, card, kAxisX)));
        ASSERT_FALSE(watcher.Seen().empty());
        EXPECT_EQ(watcher.Seen().back().text, std::string("The configuration could not be saved to\n") + file.path());
        EXPECT_TRUE(::RemoveDirectoryA(file.path()));
    }
}

TEST(LoadConfigButton, LoadsTheFileTheUserChooses) {
    TestFile file("chosen");
    CSettingsStore saver;
    saver.m_Settings[kModelA].cards[kCardA].axis[1].inpEnable = 1;
    ASSERT_TRUE(saver.SaveRM720Config(file.path()));

    CSettingsStore store;
    {
        MessageBoxWatcher watcher({{"Open VEXA-RM720 ConfigurationFile", IDCANCEL, ""}});
        LoadConfigAsked(store, kModelA);
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_EQ(Stored(store, kModelA, kCardA, kAxisY).inpEnable, 0);
    }
    MessageBoxWatcher watcher({{"Open VEXA-RM720 ConfigurationFile", IDOK, file.path()}});
    LoadConfigAsked(store, kModelA);
    EXPECT_EQ(Stored(store, kModelA, kCardA, kAxisY).inpEnable, 1);
    EXPECT_EQ(Stored(store, kModelA, kCardA, kAxisY).applied, 1);
    store.SetAxisConfig(kModelA, kCardA, kAxisY, {});
}

}  // namespace
