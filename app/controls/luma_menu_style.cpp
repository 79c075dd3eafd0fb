// LumaMenu's looks as the desktop decides them: the operating-system class, the
// theme probe and the style settings shared by every menu.
#include "luma_menu.h"
#include "luma_menu_shared.h"

#include <cmath>
#include <cstring>

namespace {

constexpr char kThemeKey[] = "Software\\Microsoft\\Plus!\\Themes\\Current";
constexpr char kClassicTheme[] = "windows classic.theme";
// The class whose desktop may be themed.
constexpr int kThemableClass = 7;

bool EndsWithNoCase(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return length >= suffixLength && ::lstrcmpiA(text + length - suffixLength, suffix) == 0;
}

// Whether the current theme is the classic one; a missing key or value means not.
bool ProbeClassicTheme() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kThemeKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char value[260] = "";
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const bool read = ::RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                      ERROR_SUCCESS;
    ::RegCloseKey(key);
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return read && EndsWithNoCase(value, kClassicTheme);
}

}  // namespace

namespace luma {

SharedState& Shared() {
    static SharedState state;
    return state;
}

}  // namespace luma

// Windows 9x: 0 before 4.0, 3 for 4.10, 4 for 4.90, else 2. NT: 5 for 4.x, 6 for 5.0,
// 7 for 5.1, else 1. Above 1: 3-D image frames and the menu font for measuring.
int LumaMenuOsClass(DWORD platformId, DWORD major, DWORD minor) {
    if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (major < 4) return 0;
        if (major == 4 && minor == 10) return 3;
        if (major == 4 && minor == 90) return 4;
        return 2;
    }
    if (major == 4) return 5;
    if (major == 5 && minor == 0) return 6;
    if (major == 5 && minor == 1) return 7;
    return 1;
}

COLORREF LightenColor(COLORREF colour, double k) {
    if (!(k > 0.0 && k <= 1.0)) return colour;
    const auto lighten = [k](BYTE c) { return static_cast<BYTE>(std::trunc(c + k * (255 - c))); };
    return RGB(lighten(GetRValue(colour)), lighten(GetGValue(colour)), lighten(GetBValue(colour)));
}

int LumaMenu::OsClass() {
    luma::SharedState& shared = luma::Shared();
    if (shared.osClass < 0) {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        ::GetVersionExA(&version);
        shared.osClass = LumaMenuOsClass(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
    }
    return shared.osClass;
}

bool LumaMenu::IsThemedDesktop() {
    luma::SharedState& shared = luma::Shared();
    if (!shared.themeProbed) {
        shared.classicTheme = ProbeClassicTheme();
        shared.themeProbed = true;
    }
    return OsClass() == kThemableClass && !shared.classicTheme;
}

int LumaMenu::GetDrawStyle() {
    const luma::SharedState& shared = luma::Shared();
    return IsThemedDesktop() ? shared.drawStyleThemed : shared.drawStyle;
}

void LumaMenu::SetDrawStyle(int style) {
    luma::SharedState& shared = luma::Shared();
    shared.drawStyleThemed = shared.drawStyle = style;
}

BOOL LumaMenu::GetSelectDisabled() {
    const luma::SharedState& shared = luma::Shared();
    return GetDrawStyle() == 1 ? shared.selectDisabledFlat : shared.selectDisabledClassic;
}

bool LumaMenu::EffectsOn() { return GetDrawStyle() == 1 && luma::Shared().glyphEffects; }

int LumaMenu::Gap() const { return EffectsOn() ? 7 : 4; }

BOOL LumaMenu::IsLumaMenu(HMENU menu) {
    return menu && luma::Shared().registry.count(menu) != 0;
}
