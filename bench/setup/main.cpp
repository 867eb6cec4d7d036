// bench/setup: how long the setup takes to show the Data Mapping page with all its rows, offscreen.
//
//   setup [--runs 20]
//
// Each run builds what RunUI builds (the mapping model from the catalogue, the stored links and the platform's
// value names; the sheet with its General page), then makes the Data Mapping page current, which creates the
// grid with one row per catalogue column, and paints it once. The document class is the benchmark invoice
// class, presented through the capture host's setup data.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/release/synth.h"
#include "capture/host_objects.h"
#include "platform/ui/property_sheet.h"
#include "resources/qorvena_resources.h"
#include "setup/PropertyPageSetupGeneral.h"
#include "setup/PropertyPageSetupMapping.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 20;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  AfxModuleStateGuard module(QorvenaResources());

  bench::ClassSettings settings{u"sqlite:/var/lib/qorvena/ecm", u"KOFAXREL", u"", u"ECMLIB"};
  capture::DocumentClass documentClass = bench::MakeInvoiceClass(settings);
  documentClass.valueNames = capture::DefaultValueNames();
  CComPtr<IReleaseSetupData> setupData = capture::MakeReleaseSetupData(documentClass, nullptr);

  std::vector<double> modelMs, sheetMs, pageMs, paintMs, totalMs;
  int rows = 0, mapped = 0;
  for (int run = 0; run < runs; ++run) {
    auto t0 = Clock::now();
    auto model = std::make_unique<CMappingModel>(setupData.get());
    model->BuildCatalogue();
    model->LoadLinks();
    model->LoadValueNames();
    auto t1 = Clock::now();

    auto sheet = std::make_unique<CMFCPropertySheet>(u"Setup");
    sheet->m_psh.dwFlags |= PSH_NOAPPLYNOW;
    sheet->SetLook(CMFCPropertySheet::PropSheetLook_List, 100);
    auto general = std::make_unique<CPropertyPageSetupGeneral>();
    general->SetModel(model.get());
    sheet->AddPage(general.get());
    auto mapping = std::make_unique<CPropertyPageSetupMapping>();
    mapping->SetModel(model.get());
    mapping->SetLeaveCheck([](CPropertyPageSetupMapping&) { return true; });
    sheet->AddPage(mapping.get());
    sheet->show();
    QApplication::processEvents();
    auto t2 = Clock::now();

    if (!sheet->SetActivePage(1)) {
      std::fprintf(stderr, "the Data Mapping page could not be shown\n");
      return 1;
    }
    auto t3 = Clock::now();
    QApplication::processEvents();
    QImage image = mapping->grab().toImage();
    auto t4 = Clock::now();

    rows = 0;
    mapped = 0;
    for (int slot = 0; slot < kMappingSlots; ++slot) {
      if (mapping->FindRow(slot)) ++rows;
      if (model->Entry(slot).sourceType != KFX_REL_UNDEFINED_LINK) ++mapped;
    }
    if (image.isNull()) {
      std::fprintf(stderr, "the page did not paint\n");
      return 1;
    }
    sheet->hide();
    mapping.reset();
    general.reset();
    sheet.reset();
    model.reset();
    QApplication::processEvents();

    modelMs.push_back(Ms(t0, t1));
    sheetMs.push_back(Ms(t1, t2));
    pageMs.push_back(Ms(t2, t3));
    paintMs.push_back(Ms(t3, t4));
    totalMs.push_back(Ms(t0, t4));
  }
  std::printf("Data Mapping page: %d rows (%d mapped), %d runs, milliseconds median [min, max]\n", rows, mapped, runs);
  auto line = [](const char* what, const std::vector<double>& v) {
    std::printf("  %-44s %8.2f [%.2f, %.2f]\n", what, Median(v), *std::min_element(v.begin(), v.end()),
                *std::max_element(v.begin(), v.end()));
  };
  line("model (catalogue, links, value names)", modelMs);
  line("sheet and General page shown", sheetMs);
  line("Data Mapping page made current (grid, rows)", pageMs);
  line("first paint of the page", paintMs);
  line("total", totalMs);
  return rows == kCatalogueColumns ? 0 : 1;
}
