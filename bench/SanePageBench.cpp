// One big page through the SANE source: 1200 dpi colour, 200 x 200 mm (268 MB), from the fixture
// SANE backend's KV-S1025C-like device, by memory transfer and by native transfer, each in a
// session of its own. Prints the process's peak private memory during the transfer, above what it
// held before, against the page's size: the source must hold the page once.
//
// Run by scripts/bench.sh through scripts/sane-test.sh (the SANE prefix and the fixture's
// configuration folder). Usage: sane_page_bench [dpi] [millimetres]
#include "bench/MemorySampler.h"
#include "tests/sane-source/TwainClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Figures {
  bool ok = false;
  double pageBytes = 0;
  double peakAbove = 0;
  double seconds = 0;
};

std::string FixtureFile(const std::string &name) {
  const char *dir = std::getenv("SANE_CONFIG_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char &c : path)
    if (c == '/')
      c = '\\';
  return path;
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The application keeps the whole page, as a scanning application does: by memory transfer in a
// block of its own made once, by native transfer the source's bitmap.
Figures ScanOnce(bool native, int load) {
  Figures f;
  WriteText(FixtureFile("tovik-fixture.conf"),
            "devices kvs1025\nsheets 1\nload " + std::to_string(load) + "\n");
  sanetest::TwainClient client;
  if (!client.Ready() || client.OpenSource("KV-S bench") != TWRC_SUCCESS) {
    std::printf("  the source did not open\n");
    return f;
  }
  const size_t before = ProcessMemory().PagefileUsage;
  TMemorySampler sampler(5);
  const DWORD start = ::GetTickCount();
  if (client.Enable(false) != TWRC_SUCCESS || client.WaitForMessage(600000) != MSG_XFERREADY) {
    std::printf("  no page came\n");
    return f;
  }
  TW_IMAGEINFO info{};
  client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
  const size_t rowBytes = (size_t(info.ImageWidth) * size_t(info.BitsPerPixel) + 7) / 8;
  f.pageBytes = double(rowBytes) * double(info.ImageLength);
  TW_UINT16 rc = TWRC_FAILURE;
  TMemoryPeaks peakBeforeFree;
  if (native) {
    HGLOBAL dib = nullptr;
    rc = client.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
    win::UniqueGlobal owned(dib);
    peakBeforeFree = sampler.SoFar();
  } else {
    // Memory as a bitmap section is: the system's pages, taken up as the rows are written.
    const size_t size = size_t(f.pageBytes);
    auto *page =
        static_cast<uint8_t *>(::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!page) {
      std::printf("  no memory for the page\n");
      return f;
    }
    TW_SETUPMEMXFER setup{};
    client.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    std::vector<uint8_t> buffer(setup.Preferred);
    do {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, TW_UINT32(buffer.size()), buffer.data()};
      rc = client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      const size_t at = size_t(xfer.YOffset) * xfer.BytesPerRow;
      if ((rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) && at + xfer.BytesWritten <= size)
        std::memcpy(page + at, buffer.data(), xfer.BytesWritten);
    } while (rc == TWRC_SUCCESS);
    peakBeforeFree = sampler.SoFar();
    ::VirtualFree(page, 0, MEM_RELEASE);
  }
  f.seconds = (::GetTickCount() - start) / 1000.0;
  sampler.Stop();
  f.peakAbove = double(peakBeforeFree.PagefileUsage) - double(before);
  f.ok = rc == TWRC_XFERDONE;
  TW_PENDINGXFERS pending{};
  client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  if (pending.Count != 0)
    client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
  TW_USERINTERFACE ui{TWAIN_FALSE, TWAIN_FALSE, nullptr};
  client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  return f;
}

} // namespace

int main(int argc, char **argv) {
  const int dpi = argc > 1 ? std::atoi(argv[1]) : 1200;
  const int mm = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string ini = FixtureFile("sane-source.ini");
  WriteText(ini, "[Fixture KV-S1025C]\nname = KV-S bench\noption mode = Color\noption duplex = no\n"
                 "option resolution = " +
                     std::to_string(dpi) + "\noption br-x = " + std::to_string(mm) +
                     "\noption br-y = " + std::to_string(mm) + "\n");
  ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", ini.c_str());
  std::printf("SANE source, one %d dpi colour page of %d x %d mm; peak private memory during the scan "
              "and transfer, above the process's before it:\n",
              dpi, mm, mm);
  int failed = 0;
  int load = 0;
  for (const bool native : {false, true}) {
    const Figures f = ScanOnce(native, ++load);
    const char *name = native ? "native transfer" : "memory transfer";
    if (!f.ok) {
      std::printf("  %s: failed\n", name);
      ++failed;
      continue;
    }
    std::printf("  %s: page %.1f MB, peak %.1f MB = %.2f x the page (%.1f s)\n", name, f.pageBytes / 1e6,
                f.peakAbove / 1e6, f.peakAbove / f.pageBytes, f.seconds);
  }
  return failed ? 1 : 0;
}
