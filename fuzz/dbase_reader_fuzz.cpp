// Fuzz target of the dbase.xml reader: the input is the file. A bad file is a
// user error; a good one leaves tables whose counts the log line gives.
#include <cstddef>
#include <cstdint>

#include "aircraftdata/dbase.h"
#include "app/errors.h"
#include "app/files.h"
#include "fuzz/fuzz_folder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::workFolder("dbase");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::workFolder("dbase");
  g_inputFolder = "input";
  fuzzsupport::writeBytes(g_inputFolder / "dbase.xml", data, size);
  gf_resetDbaseForTests();
  try {
    gf_readDbase();
    fuzzsupport::check(g_dbaseRead.load());
  } catch (const qor::UserErrorException&) {
    fuzzsupport::check(!g_dbaseRead.load());
  }
  return 0;
}
