// soak [DOCUMENTS] [DIR]: releases a batch of DOCUMENTS invoices (100,000 unless given) through one capture host
// process into an embedded library under DIR, prints the host's resident memory every few seconds, and checks
// that every document reached the tables whole.
#include "tests/soak/soak.h"

int main(int argc, char** argv) {
  soak::Options o;
  if (argc > 1) o.documents = std::stoul(argv[1]);
  o.dir = argc > 2 ? soak::fs::path(argv[2]) : soak::fs::temp_directory_path() / "qorvena-soak";
  o.host = QORVENA_CAPTURE_HOST;
  o.module = QORVENA_MODULE;
  o.interval = std::chrono::milliseconds(o.documents >= 20000 ? 10000 : 1000);
  o.say = [](const std::string& line) { std::cout << line << std::endl; };
  soak::Result r = soak::Run(o);
  if (!r.failure.empty()) {
    std::cout << "FAILED: " << r.failure << "\n";
    return 1;
  }
  long minRss = -1, maxRss = 0, peak = 0;
  for (const auto& s : r.samples) {
    if (minRss < 0 || s.rssKb < minRss) minRss = s.rssKb;
    maxRss = std::max(maxRss, s.rssKb);
    peak = std::max(peak, s.peakKb);
  }
  std::printf("%zu documents (batch file %.1f MB) in %.0f s, %.1f documents/s\n", o.documents,
              static_cast<double>(r.batchBytes) / (1024.0 * 1024.0), r.seconds, static_cast<double>(o.documents) / r.seconds);
  std::printf("host RSS %.1f to %.1f MB, peak %.1f MB; growth after the first tenth %.1f MB\n", minRss / 1024.0,
              maxRss / 1024.0, peak / 1024.0, static_cast<double>(soak::Growth(r, o.documents)) / 1024.0);
  std::printf("every document in the tables once and whole; %zu keys taken by two documents\n", r.verdict.sharedKeys);
  return 0;
}
