// CString: the framework's narrow-character string.
#pragma once

#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const char* text, int length) : m_text(text, length) {}
    CString(char ch, int repeat = 1) : m_text(repeat, ch) {}

    operator LPCSTR() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    char GetAt(int index) const { return m_text.at(index); }
    char operator[](int index) const { return GetAt(index); }

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;

    // printf-style formatting; pass CString arguments as (LPCSTR).
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Loads a string resource of the resource module; FALSE when there is none.
    BOOL LoadString(UINT id);

    // A writable buffer of at least minLength characters for Win32 calls that fill text;
    // ReleaseBuffer takes the text up to its terminator (or newLength characters).
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    CString& operator=(const char* text) { m_text = text ? text : ""; return *this; }
    CString& operator+=(const CString& other) { m_text += other.m_text; return *this; }
    CString& operator+=(const char* text) { m_text += text ? text : ""; return *this; }
    CString& operator+=(char ch) { m_text += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

private:
    std::string m_text;
};
