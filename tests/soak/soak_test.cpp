// A shorter long batch for every test run: 2,000 documents through one capture host process, every one of them
// in the tables afterwards, and the host's memory flat while it releases them.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/soak/soak.h"

namespace {

TEST(Soak, ALongBatchIsReleasedWholeWithFlatMemory) {
  soak::Options o;
  o.documents = 2000;
  // What is measured is the host's memory, not the disk: a folder in memory keeps the run short.
  soak::fs::path base = soak::fs::is_directory("/dev/shm") ? soak::fs::path("/dev/shm") : soak::fs::temp_directory_path();
  o.dir = base / ("qorvena-soak-" + std::to_string(::getpid()));
  o.host = QORVENA_CAPTURE_HOST;
  o.module = QORVENA_MODULE;
  o.interval = std::chrono::milliseconds(250);
  soak::Result r = soak::Run(o);
  ASSERT_EQ(r.failure, "");
  std::string samples;
  for (const auto& s : r.samples)
    samples += std::to_string(s.released) + " documents: " + std::to_string(s.rssKb) + " kB\n";
  std::cout << "[ soak     ] " << o.documents << " documents in " << r.seconds << " s; resident memory:\n" << samples;
#if defined(__SANITIZE_ADDRESS__)
  // The address sanitizer keeps freed memory aside, so resident memory says nothing here.
#else
  // Holding the batch, or something of every document, would grow with every document released.
  EXPECT_LT(soak::Growth(r, o.documents), 2048) << samples;
#endif
  std::error_code ec;
  soak::fs::remove_all(o.dir, ec);
}

}  // namespace
