#include "mfc/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "mfc/app.h"

CString CString::Left(int count) const {
    if (count < 0) count = 0;
    return CString(m_text.substr(0, count).c_str());
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (first >= GetLength() || count <= 0) return CString();
    return CString(m_text.substr(first, count).c_str());
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(m_text.substr(m_text.size() - count).c_str());
}

int CString::Find(char ch, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    const auto at = m_text.find(ch, start);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* sub, int start) const {
    if (start < 0 || start > GetLength()) return -1;
    const auto at = m_text.find(sub, start);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        m_text.clear();
    } else {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(length);
        m_text = std::move(text);
    }
    va_end(args);
}

BOOL CString::LoadString(UINT id) {
    // A string resource is at most 4095 characters long.
    char buffer[4096];
    const int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    m_text.assign(buffer, length > 0 ? length : 0);
    return length > 0;
}

char* CString::GetBuffer(int minLength) {
    if (minLength < 1) minLength = 1;
    if (m_text.size() < static_cast<size_t>(minLength)) m_text.resize(minLength);
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = static_cast<int>(std::strlen(m_text.c_str()));
    m_text.resize(newLength);
}
