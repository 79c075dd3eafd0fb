#include "settings_fixture.h"

#include <unistd.h>

#include "open_cards.h"

namespace {

// The cards stay open for the whole program, as while the test program runs.
const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

}  // namespace

TestFile::TestFile(const char* tag) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    m_path = "C:\\windows\\temp\\rm7x0-settings-" + std::to_string(::getpid()) + "-" + test->name() + "-" + tag +
             ".ini";
    ::DeleteFileA(m_path.c_str());
}

TestFile::~TestFile() {
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_path.c_str());
    ::DeleteFileA(m_path.c_str());
}

std::string TestFile::Text() const {
    // Past the profile functions' own copy of the file.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_path.c_str());
    HANDLE file = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    ::CloseHandle(file);
    return text;
}

int ErrorStatus(int model, int cardId, int axisBit) {
    int16_t status = 0;
    const ApiStatus result = model == kModelA ? rm720_get_error_status(cardId, axisBit, &status)
                                              : rm730_get_error_status(cardId, axisBit, &status);
    return result == SUCCESS_NO_ERROR ? status : -1;
}

void RangeSettings(int model, int cardId, int axisBit, int32_t limits[6]) {
    ASSERT_EQ(MotionLibraryOf(model).get_range_settings(cardId, axisBit, limits), SUCCESS_NO_ERROR);
}

int32_t SpeedMax(int model, int cardId, int axisBit) {
    int32_t limits[6] = {};
    RangeSettings(model, cardId, axisBit, limits);
    return limits[5];
}
