// One benchmark case in a process of its own, for scripts (bench/compare):
//
//   bench_case CASE [--threads N] [--repeat R] [--kernels PATH] [--slabs 0|1|2]
//
// prints one line of key=value pairs:
//   case, threads, kernels, cold_s (the first Compute of the process: fresh
//   memory, first-touch page faults included), warm_s (median over R runs on
//   a reused results array), warm_basis_s, warm_transform_gflops (2 flops per
//   multiply-add, basis time excluded), warm_gflops (whole), results_mb,
//   peak_rss_mb (of the process after the cold run only: at most one
//   results array lived until then), rss_over_results_mb, warm_cpu_s (the
//   median processor time of a warm run, all threads together: on a shared
//   machine, where other programs take turns on the processors, warm_cpu_s /
//   threads is what a warm run takes on processors of its own, as long as
//   the threads are evenly busy), warm_min_s (the fastest warm run: the
//   least disturbed by other programs).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cases.h"
#include "engine/compute.h"
#include "warm_run.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

tabulor::KernelPath ParsePath(const std::string& s) {
  for (auto p : {tabulor::KernelPath::Auto, tabulor::KernelPath::Scalar, tabulor::KernelPath::Sse2,
                 tabulor::KernelPath::Avx2, tabulor::KernelPath::Avx512, tabulor::KernelPath::Wide8})
    if (s == tabulor::KernelPathName(p)) return p;
  std::fprintf(stderr, "bench_case: unknown kernels %s\n", s.c_str());
  std::exit(2);
}

// "0" (by size), "1" (always) or "2" (never), as ComputeOptions::slabs.
tabulor::SlabMode ParseSlabs(const char* text) {
  const int mode = std::atoi(text);
  return mode == 1 ? tabulor::SlabMode::Always : mode == 2 ? tabulor::SlabMode::Never : tabulor::SlabMode::BySize;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_case CASE [--threads N] [--repeat R] [--kernels PATH] [--slabs 0|1|2]\n");
    return 2;
  }
  const bench::Case* c = bench::FindCase(argv[1]);
  if (c == nullptr) {
    std::fprintf(stderr, "bench_case: no case %s\n", argv[1]);
    return 2;
  }
  int threads = 0, repeat = 5;
  tabulor::SlabMode slabs = tabulor::SlabMode::BySize;
  tabulor::KernelPath path = tabulor::KernelPath::Auto;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--threads")
      threads = std::atoi(argv[i + 1]);
    else if (a == "--repeat")
      repeat = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--kernels")
      path = ParsePath(argv[i + 1]);
    else if (a == "--slabs")
      slabs = ParseSlabs(argv[i + 1]);
  }

  double cold = 0, rss = 0;
  {
    tabulor::Dimension m;
    bench::FillModel(m, *c);
    tabulor::ComputeOptions options;
    options.threads = threads;
    options.kernels = path;
    options.slabs = slabs;
    const tabulor::ComputeResult r = tabulor::Compute(m, nullptr, options);
    if (r.outcome != tabulor::ComputeOutcome::Ok) {
      std::fprintf(stderr, "bench_case: %s\n", r.message.c_str());
      return 1;
    }
    cold = r.seconds;
    rss = PeakRssMb();
  }

  bench::WarmRun run(*c, threads, path);
  run.transformer().SetSlabMode(slabs);
  std::vector<double> total, basis, cpu;
  run.Run();  // the working memory of the transforms, once
  for (int i = 0; i < repeat; ++i) {
    run.transformer().ResetStats();
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds();
    if (!run.Run()) return 1;
    total.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    cpu.push_back(CpuSeconds() - c0);
    basis.push_back(run.transformer().stats().basis_seconds);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  };
  std::vector<double> transform(total.size());
  for (std::size_t i = 0; i < total.size(); ++i) transform[i] = total[i] - basis[i];
  const double flops = 2 * bench::MultiplyAdds(*c);
  const double results_mb = bench::ResultsBytes(*c) / 1048576.0;
  std::printf(
      "case=%s threads=%d kernels=%s cold_s=%.4f warm_s=%.4f warm_basis_s=%.4f warm_transform_gflops=%.2f "
      "warm_gflops=%.2f results_mb=%.1f peak_rss_mb=%.1f rss_over_results_mb=%.1f warm_cpu_s=%.4f warm_min_s=%.4f\n",
      c->name.c_str(), run.transformer().threads(), tabulor::KernelPathName(run.transformer().path()), cold,
      median(total), median(basis), flops / median(transform) / 1e9, flops / median(total) / 1e9, results_mb, rss,
      rss - results_mb, median(cpu), *std::min_element(total.begin(), total.end()));
  return 0;
}
