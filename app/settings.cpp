#include "app/settings.h"

#include <algorithm>

#include "app/log.h"

namespace prm {

#define SKYLOOM_DEFINE_Bool(key, def, lo, hi, stored) \
  static_assert(stored, "every on/off setting is stored");    \
  BoolParameter key{#key, def};
#define SKYLOOM_DEFINE_Int(key, def, lo, hi, stored)                  \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  IntParameter key{#key, def, lo, hi, stored};
#define SKYLOOM_DEFINE_String(key, def, lo, hi, stored) StringParameter key{#key, def, stored};
#define SKYLOOM_DEFINE_Float(key, def, lo, hi, stored)                \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  FloatParameter key{#key, def, lo, hi, stored};
#define SKYLOOM_DEFINE_SETTING(kind, key, def, lo, hi, stored) SKYLOOM_DEFINE_##kind(key, def, lo, hi, stored)

SKYLOOM_SETTINGS(SKYLOOM_DEFINE_SETTING)

#undef SKYLOOM_DEFINE_SETTING
#undef SKYLOOM_DEFINE_Float
#undef SKYLOOM_DEFINE_String
#undef SKYLOOM_DEFINE_Int
#undef SKYLOOM_DEFINE_Bool

static_assert(kRangeChoices.front() == 2 && kRangeChoices.back() == 100, "RANGE's range is its first and last choice");

}  // namespace prm

const std::vector<Parameter*>& gf_allParameters() {
#define SKYLOOM_LIST_SETTING(kind, key, def, lo, hi, stored) &prm::key,
  static const std::vector<Parameter*> all{SKYLOOM_SETTINGS(SKYLOOM_LIST_SETTING)};
#undef SKYLOOM_LIST_SETTING
  return all;
}

Parameter* gf_findParameter(std::string_view key) {
  const auto& all = gf_allParameters();
  const auto it = std::find_if(all.begin(), all.end(), [key](const Parameter* p) { return p->name() == key; });
  return it == all.end() ? nullptr : *it;
}

bool gf_readParameters() {
  const bool ok = gf_readParameterList(gf_allParameters());
  // MAX_FIT_FL is the hours form of the stored MAX_FIT.
  prm::MAX_FIT_FL.set(prm::MAX_FIT.value() * 0.5 + 0.5);
  return ok;
}

void gf_logParameters() {
  for (const Parameter* parameter : gf_allParameters()) parameter->logValue();
}

void gf_resetParametersToDefaults() {
  for (Parameter* parameter : gf_allParameters()) parameter->resetToDefault();
  gf_forgetParametersDocument();
}
