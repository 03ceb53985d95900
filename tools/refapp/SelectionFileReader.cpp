#include "tools/refapp/SelectionFileReader.h"

bool ReadSelectionFile(const std::vector<uint8_t>& vecBytes, SelectionFileContents& contents, std::string& strError)
{
    if (vecBytes.size() < 2 || vecBytes[0] != 0xFF || vecBytes[1] != 0xFE)
    {
        strError = "the selection file does not start with the UTF-16LE byte-order mark FF FE";
        return false;
    }
    if (vecBytes.size() % 2 != 0)
    {
        strError = "the selection file has an odd number of bytes";
        return false;
    }

    SelectionFileContents parsed;
    std::u16string strCurrent;
    bool bSawLineFeed = false;
    bool bSawEmpty = false;
    for (size_t i = 2; i < vecBytes.size(); i += 2)
    {
        char16_t ch = static_cast<char16_t>(vecBytes[i] | (vecBytes[i + 1] << 8));
        if (ch == u'\n')
        {
            bSawLineFeed = true;
            continue;
        }
        if (ch != u'\r')
        {
            strCurrent += ch;
            continue;
        }
        if (strCurrent.empty())
            bSawEmpty = true;
        else
            parsed.vecPaths.push_back(strCurrent);
        strCurrent.clear();
    }
    if (!strCurrent.empty())
    {
        parsed.vecPaths.push_back(strCurrent);
        parsed.vecWarnings.push_back("the last path is not followed by a carriage return");
    }
    if (bSawLineFeed)
        parsed.vecWarnings.push_back("line feeds found; paths are separated by carriage returns alone");
    if (bSawEmpty)
        parsed.vecWarnings.push_back("empty entries skipped");
    contents = parsed;
    return true;
}
