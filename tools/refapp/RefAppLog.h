// The reference main application's log: one block of lines per start, so
// that people can read what the extension asked for and what was done.
#pragma once

#include <string>
#include <vector>

class CRefAppLog
{
public:
    // ORVANE_REFAPP_LOG if set, else <AppData>\Kelvoss\Orvane\refapp.log.
    static std::wstring DefaultPath();

    explicit CRefAppLog(std::wstring strPath) : m_strPath(std::move(strPath)) {}

    // The first line of the block carries the time and the process.
    void Start(const std::string& strText);
    void Line(const std::string& strText) { m_vecLines.push_back("  " + strText); }
    // Appends the block to the file with one write; retries while another
    // start of the application holds the file.
    bool Flush();

private:
    std::wstring m_strPath;
    std::vector<std::string> m_vecLines;
};
