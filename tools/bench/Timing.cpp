#include "tools/bench/Timing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Nearest rank on the sorted samples.
double Percentile(const std::vector<double>& vecSorted, double dFraction)
{
    if (vecSorted.empty())
        return 0;
    size_t nRank = static_cast<size_t>(std::ceil(dFraction * static_cast<double>(vecSorted.size())));
    if (nRank == 0)
        nRank = 1;
    return vecSorted[std::min(nRank, vecSorted.size()) - 1];
}

double Median(const std::vector<double>& vecSorted)
{
    const size_t n = vecSorted.size();
    if (n == 0)
        return 0;
    return n % 2 == 1 ? vecSorted[n / 2] : (vecSorted[n / 2 - 1] + vecSorted[n / 2]) / 2;
}

FILE* OpenForWriting(const std::wstring& strPath)
{
    return _wfopen(strPath.c_str(), L"wb");
}

}  // namespace

SampleStats Summarize(std::vector<double> vecMicroseconds)
{
    std::sort(vecMicroseconds.begin(), vecMicroseconds.end());
    SampleStats stats;
    stats.dMedian = Median(vecMicroseconds);
    stats.dP90 = Percentile(vecMicroseconds, 0.9);
    stats.dMin = vecMicroseconds.empty() ? 0 : vecMicroseconds.front();
    return stats;
}

double NowMicroseconds()
{
    static const double s_dTicksPerMicrosecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / s_dTicksPerMicrosecond;
}

void PrintComparisons(const std::vector<Comparison>& vecResults)
{
    printf("%-40s %12s %12s %12s %12s %8s %8s %14s\n", "operation", "ours med us", "ours p90 us", "floor med us",
           "floor p90 us", "ratio", "p90 rat", "naive med us");
    for (const Comparison& c : vecResults)
    {
        printf("%-40s %12.2f %12.2f %12.2f %12.2f %8.3f %8.3f", c.strOperation.c_str(), c.ours.dMedian, c.ours.dP90,
               c.floor.dMedian, c.floor.dP90, c.Ratio(), c.RatioP90());
        if (c.bNaive)
            printf(" %14.2f", c.naive.dMedian);
        printf("\n");
    }
    fflush(stdout);
}

bool WriteComparisons(const std::vector<Comparison>& vecResults, const std::wstring& strCsvPath,
                      const std::wstring& strJsonPath, const std::string& strArchitecture)
{
    FILE* pCsv = OpenForWriting(strCsvPath);
    FILE* pJson = OpenForWriting(strJsonPath);
    bool bOk = pCsv != nullptr && pJson != nullptr;
    if (bOk)
    {
        fprintf(pCsv, "arch,operation,ours_median_us,ours_p90_us,floor_median_us,floor_p90_us,ratio,ratio_p90,"
                      "samples,batch,naive_median_us,naive_p90_us\n");
        fprintf(pJson, "{\n  \"arch\": \"%s\",\n  \"operations\": [\n", strArchitecture.c_str());
        for (size_t i = 0; i < vecResults.size(); ++i)
        {
            const Comparison& c = vecResults[i];
            fprintf(pCsv, "%s,%s,%.3f,%.3f,%.3f,%.3f,%.4f,%.4f,%zu,%zu,", strArchitecture.c_str(),
                    c.strOperation.c_str(), c.ours.dMedian, c.ours.dP90, c.floor.dMedian, c.floor.dP90, c.Ratio(),
                    c.RatioP90(), c.nSamples, c.nBatch);
            if (c.bNaive)
                fprintf(pCsv, "%.3f,%.3f", c.naive.dMedian, c.naive.dP90);
            fprintf(pCsv, "\n");
            fprintf(pJson,
                    "    {\"operation\": \"%s\", \"ours_median_us\": %.3f, \"ours_p90_us\": %.3f, "
                    "\"floor_median_us\": %.3f, \"floor_p90_us\": %.3f, \"ratio\": %.4f, \"ratio_p90\": %.4f, "
                    "\"samples\": %zu, \"batch\": %zu",
                    c.strOperation.c_str(), c.ours.dMedian, c.ours.dP90, c.floor.dMedian, c.floor.dP90, c.Ratio(),
                    c.RatioP90(), c.nSamples, c.nBatch);
            if (c.bNaive)
                fprintf(pJson, ", \"naive_median_us\": %.3f, \"naive_p90_us\": %.3f", c.naive.dMedian, c.naive.dP90);
            fprintf(pJson, "}%s\n", i + 1 < vecResults.size() ? "," : "");
        }
        fprintf(pJson, "  ]\n}\n");
    }
    if (pCsv != nullptr)
        bOk = fclose(pCsv) == 0 && bOk;
    if (pJson != nullptr)
        bOk = fclose(pJson) == 0 && bOk;
    return bOk;
}
