// Timing of one operation against its floor. Samples of the two sides are
// taken in turn, the order flipping every sample, so that a machine busy with
// other work slows both alike; each sample times a batch of calls so that a
// sample lasts well above the clock's resolution.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

struct SampleStats
{
    double dMedian = 0;  // microseconds per call
    double dP90 = 0;
    double dMin = 0;
};

SampleStats Summarize(std::vector<double> vecMicroseconds);

struct Comparison
{
    std::string strOperation;
    SampleStats ours;
    SampleStats floor;
    // Beside some floors: what a naive way of doing the same work pays,
    // timed on its own (bNaive).
    bool bNaive = false;
    SampleStats naive;
    size_t nSamples = 0;
    size_t nBatch = 0;
    double Ratio() const { return floor.dMedian > 0 ? ours.dMedian / floor.dMedian : 0; }
    double RatioP90() const { return floor.dP90 > 0 ? ours.dP90 / floor.dP90 : 0; }
};

double NowMicroseconds();

struct SampleCounts
{
    size_t nWarmup;
    size_t nSamples;
    size_t nBatch;
};

// For each side: prepare(bOurs) runs untimed before a batch, run(bOurs) once
// per call inside the timed span, finish(bOurs) untimed after it.
template <class Prepare, class Run, class Finish>
Comparison CompareWithFloor(const char* pszOperation, SampleCounts counts, Prepare prepare, Run run, Finish finish)
{
    std::vector<double> vecOurs;
    std::vector<double> vecFloor;
    vecOurs.reserve(counts.nSamples);
    vecFloor.reserve(counts.nSamples);
    auto timeBatch = [&](bool bOurs) {
        prepare(bOurs);
        const double dStart = NowMicroseconds();
        for (size_t i = 0; i < counts.nBatch; ++i)
            run(bOurs, i);
        const double dElapsed = NowMicroseconds() - dStart;
        finish(bOurs);
        return dElapsed / static_cast<double>(counts.nBatch);
    };
    for (size_t nSample = 0; nSample < counts.nWarmup + counts.nSamples; ++nSample)
    {
        const bool bOursFirst = (nSample % 2) == 0;
        const double dFirst = timeBatch(bOursFirst);
        const double dSecond = timeBatch(!bOursFirst);
        if (nSample < counts.nWarmup)
            continue;
        vecOurs.push_back(bOursFirst ? dFirst : dSecond);
        vecFloor.push_back(bOursFirst ? dSecond : dFirst);
    }
    Comparison result;
    result.strOperation = pszOperation;
    result.ours = Summarize(vecOurs);
    result.floor = Summarize(vecFloor);
    result.nSamples = counts.nSamples;
    result.nBatch = counts.nBatch;
    return result;
}

// One side alone, timed as CompareWithFloor times each of its two.
template <class Run, class Finish>
SampleStats TimeAlone(SampleCounts counts, Run run, Finish finish)
{
    std::vector<double> vecSamples;
    vecSamples.reserve(counts.nSamples);
    for (size_t nSample = 0; nSample < counts.nWarmup + counts.nSamples; ++nSample)
    {
        const double dStart = NowMicroseconds();
        for (size_t i = 0; i < counts.nBatch; ++i)
            run(i);
        const double dElapsed = NowMicroseconds() - dStart;
        finish();
        if (nSample >= counts.nWarmup)
            vecSamples.push_back(dElapsed / static_cast<double>(counts.nBatch));
    }
    return Summarize(vecSamples);
}

// The table on standard output and the same figures as CSV and JSON files.
void PrintComparisons(const std::vector<Comparison>& vecResults);
bool WriteComparisons(const std::vector<Comparison>& vecResults, const std::wstring& strCsvPath,
                      const std::wstring& strJsonPath, const std::string& strArchitecture);
