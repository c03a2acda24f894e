// Fuzz target of the parameters.xml reader: the input is the file. Every
// setting must hold a value in its range afterwards; and, on a sample of the
// inputs (a save and a second read cost more than the read itself), the file
// written back must be one the reader takes as it is.
#include <cstddef>
#include <cstdint>

#include "app/parameters.h"
#include "app/settings.h"
#include "fuzz/fuzz_folder.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::workFolder("parameters");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::workFolder("parameters");
  static const fs::path path = gf_parametersPath();
  // A bad file is kept aside under a name no earlier copy has; remove the
  // copies of earlier inputs, so every input starts from the same folder and
  // the target keeps its pace.
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(path.parent_path(), ec)) {
    if (entry.path().filename().string().starts_with(path.filename().string() + ".bad")) fs::remove(entry.path(), ec);
  }
  fuzzsupport::writeBytes(path, data, size);
  gf_resetParametersToDefaults();
  gf_readParameters();
  for (const Parameter* parameter : gf_allParameters()) {
    if (const auto* number = dynamic_cast<const IntParameter*>(parameter))
      fuzzsupport::check(number->value() >= number->minimum() && number->value() <= number->maximum());
  }
  if (!fuzzsupport::sampled(data, size, 16)) return 0;
  prm::RANGE.setAndSave(20);
  // What was written reads back without being rewritten or put aside.
  gf_forgetParametersDocument();
  fuzzsupport::check(gf_readParameters());
  fuzzsupport::check(prm::RANGE.value() == 20);
  return 0;
}
