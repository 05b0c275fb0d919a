// What every benchmark program shares: its row-count argument, the peak memory
// of a measured stretch, and medians of several rounds.
#pragma once

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// A positive count from the command line; anything else (0, a sign, letters,
// too large) prints the usage line and ends the program.
inline int countArgument(const char* text, const char* usage) {
  const std::string s = text ? text : "";
  bool digits = !s.empty() && s.size() <= 9;
  for (char ch : s) digits = digits && std::isdigit(static_cast<unsigned char>(ch));
  const int n = digits ? std::atoi(s.c_str()) : 0;
  if (n <= 0) {
    std::fprintf(stderr, "usage: %s\n", usage);
    std::exit(2);
  }
  return n;
}

// The kernel's resident-set figures of this process, in KiB.
inline long statusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

// Measures how far resident memory rises above its level at the start.
class PeakMemory {
 public:
  PeakMemory() {
    // Memory freed earlier goes back to the system first, so that what the
    // measured stretch allocates shows as growth rather than reuse.
    malloc_trim(0);
    // Writing 5 resets the peak to the current resident size.
    std::ofstream("/proc/self/clear_refs") << "5";
    base_ = statusKiB("VmRSS");
  }
  // Growth of the peak over the start, in MiB.
  double grownMiB() const { return static_cast<double>(std::max(0L, statusKiB("VmHWM") - base_)) / 1024.0; }

 private:
  long base_ = 0;
};

// Wall-clock and processor time of a measured stretch. On a shared machine the
// wall clock also counts the time other processes held the processor, so the
// ratios are taken from this thread's processor time (user and system, which
// includes reading the file); the wall-clock figures are printed beside them.
class Stopwatch {
 public:
  Stopwatch() : wall_(now(CLOCK_MONOTONIC)), cpu_(now(CLOCK_THREAD_CPUTIME_ID)) {}
  double wall() const { return now(CLOCK_MONOTONIC) - wall_; }
  double cpu() const { return now(CLOCK_THREAD_CPUTIME_ID) - cpu_; }

 private:
  static double now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
  double wall_, cpu_;
};

// What one scan measured.
struct ScanFigures {
  double wall = 0;     // seconds
  double cpu = 0;      // seconds of processor time
  double peakMiB = 0;  // rise of resident memory
  long cells = 0;      // values read
};

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Runs the scan under test and the raw SQLite reference side by side in
// `rounds` rounds, prints each round and the medians, and last the median
// ratio of their processor times. Fails when the two read different counts.
template <class Scan, class Reference>
int compareScans(const char* name, int rows, int rounds, Scan scan, Reference reference) {
  std::vector<double> ratios, wallRatios, cpu, rawCpu, wall, rawWall, peak, rawPeak;
  for (int round = 1; round <= rounds; ++round) {
    const ScanFigures a = scan();
    const ScanFigures b = reference();
    if (a.cells != b.cells) {
      std::fprintf(stderr, "values read differ: %s %ld, raw SQLite %ld\n", name, a.cells, b.cells);
      return 1;
    }
    std::printf("round %d: %s %.3f s cpu, %.3f s wall, peak +%.1f MiB; raw SQLite %.3f s cpu, %.3f s wall, peak "
                "+%.1f MiB; ratio %.2f\n",
                round, name, a.cpu, a.wall, a.peakMiB, b.cpu, b.wall, b.peakMiB, a.cpu / b.cpu);
    ratios.push_back(a.cpu / b.cpu);
    wallRatios.push_back(a.wall / b.wall);
    cpu.push_back(a.cpu);
    rawCpu.push_back(b.cpu);
    wall.push_back(a.wall);
    rawWall.push_back(b.wall);
    peak.push_back(a.peakMiB);
    rawPeak.push_back(b.peakMiB);
  }
  std::printf("%d rows, medians of %d rounds:\n", rows, rounds);
  std::printf("  %s: %.3f s cpu, %.3f s wall, peak memory +%.1f MiB\n", name, median(cpu), median(wall),
              median(peak));
  std::printf("  raw SQLite: %.3f s cpu, %.3f s wall, peak memory +%.1f MiB\n", median(rawCpu), median(rawWall),
              median(rawPeak));
  std::printf("  wall-clock ratio %.2f\n", median(wallRatios));
  std::printf("median ratio %.2f\n", median(ratios));
  return 0;
}
