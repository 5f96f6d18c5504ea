// CStdioFile: the text file the CSV import and the script runner read line by
// line. Lines may be of any length (a script line holding a large image runs
// to megabytes); "\r\n" from Windows tills reads as "\n".
#include <sys/stat.h>

#include <cstdlib>

#include "xrdb8/xrtable.h"

CStdioFile::~CStdioFile() {
    Close();
    std::free(m_buffer);
}

bool CStdioFile::Open(const char* path, const char* mode) {
    Close();
    if (!path || !*path || !mode) return false;
    std::FILE* file = std::fopen(path, mode);
    if (!file) return false;
    // A folder opens for reading here but has no lines to give.
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return false;
    }
    m_file = file;
    return true;
}

void CStdioFile::Close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

bool CStdioFile::ReadString(std::string& line) {
    line.clear();
    if (!m_file) return false;
    const ssize_t n = getline(&m_buffer, &m_capacity, m_file);
    if (n < 0) return false;
    size_t length = static_cast<size_t>(n);
    if (length && m_buffer[length - 1] == '\n') {
        --length;
        if (length && m_buffer[length - 1] == '\r') --length;
    }
    line.assign(m_buffer, length);
    return true;
}

bool CStdioFile::WriteString(std::string_view text) {
    if (!m_file) return false;
    return std::fwrite(text.data(), 1, text.size(), m_file) == text.size();
}

bool CStdioFile::Failed() const { return m_file && std::ferror(m_file); }

int64_t CStdioFile::GetPosition() const {
    if (!m_file) return -1;
    return static_cast<int64_t>(ftello(m_file));
}

bool CStdioFile::Seek(int64_t position) {
    return m_file && fseeko(m_file, static_cast<off_t>(position), SEEK_SET) == 0;
}
