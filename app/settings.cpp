#include "app/settings.h"

#include <algorithm>

#include "app/log.h"

namespace prm {

namespace {
// The checks of a combo's choices: ascending, within the range, holding the default.
template <typename Choices>
constexpr bool lf_choicesFit(const Choices& choices, std::int32_t def, std::int32_t lo, std::int32_t hi) {
  bool hasDefault = false;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (choices[i] < lo || choices[i] > hi) return false;
    if (i > 0 && choices[i] <= choices[i - 1]) return false;
    if (choices[i] == def) hasDefault = true;
  }
  return hasDefault;
}
template <typename Choices>
constexpr bool lf_textChoicesHold(const Choices& choices, std::string_view def) {
  for (const std::string_view c : choices)
    if (c == def) return true;
  return false;
}
}  // namespace

#define SKYLOOM_DEFINE_Bool(key, def, lo, hi, stored, id, row, choices) \
  static_assert(stored, "every on/off setting is stored");    \
  BoolParameter key{#key, def};
#define SKYLOOM_DEFINE_Int(key, def, lo, hi, stored, id, row, choices)                  \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  IntParameter key{#key, def, lo, hi, stored};
#define SKYLOOM_DEFINE_String(key, def, lo, hi, stored, id, row, choices) StringParameter key{#key, def, stored};
#define SKYLOOM_DEFINE_Float(key, def, lo, hi, stored, id, row, choices)                \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  FloatParameter key{#key, def, lo, hi, stored};
#define SKYLOOM_DEFINE_CheckBool(key, def, lo, hi, stored, id, row, choices) \
  static_assert(stored, "every on/off setting is stored");                  \
  CheckBoolParameter key{#key, def, id, row};
#define SKYLOOM_DEFINE_ControlInt(key, def, lo, hi, stored, id, row, choices)        \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  ControlIntParameter key{#key, def, lo, hi, stored, id, row};
#define SKYLOOM_DEFINE_ControlString(key, def, lo, hi, stored, id, row, choices) \
  ControlStringParameter key{#key, def, stored, id, row};
#define SKYLOOM_DEFINE_ControlFloat(key, def, lo, hi, stored, id, row, choices)      \
  static_assert((lo) <= (def) && (def) <= (hi), #key " default out of range"); \
  ControlFloatParameter key{#key, def, lo, hi, stored, id, row};
#define SKYLOOM_DEFINE_ComboInt(key, def, lo, hi, stored, id, row, choices)                     \
  static_assert(lf_choicesFit(choices, def, lo, hi), #key ": choices out of order, range or without the default"); \
  ComboIntParameter key{#key, def, lo, hi, stored, id, row, choices};
#define SKYLOOM_DEFINE_ComboString(key, def, lo, hi, stored, id, row, choices) \
  static_assert(lf_textChoicesHold(choices, def), #key ": the default is not a choice"); \
  ComboStringParameter key{#key, def, stored, id, row, choices};
#define SKYLOOM_DEFINE_SETTING(kind, key, def, lo, hi, stored, id, row, choices) \
  SKYLOOM_DEFINE_##kind(key, def, lo, hi, stored, id, row, choices)

SKYLOOM_SETTINGS(SKYLOOM_DEFINE_SETTING)

#undef SKYLOOM_DEFINE_SETTING
#undef SKYLOOM_DEFINE_ComboString
#undef SKYLOOM_DEFINE_ComboInt
#undef SKYLOOM_DEFINE_ControlFloat
#undef SKYLOOM_DEFINE_ControlString
#undef SKYLOOM_DEFINE_ControlInt
#undef SKYLOOM_DEFINE_CheckBool
#undef SKYLOOM_DEFINE_Float
#undef SKYLOOM_DEFINE_String
#undef SKYLOOM_DEFINE_Int
#undef SKYLOOM_DEFINE_Bool

static_assert(kRangeChoices.front() == 2 && kRangeChoices.back() == 100, "RANGE's range is its first and last choice");

}  // namespace prm

const std::vector<Parameter*>& gf_allParameters() {
#define SKYLOOM_LIST_SETTING(kind, key, def, lo, hi, stored, id, row, choices) &prm::key,
  static const std::vector<Parameter*> all{SKYLOOM_SETTINGS(SKYLOOM_LIST_SETTING)};
#undef SKYLOOM_LIST_SETTING
  return all;
}

const std::vector<ParameterControl*>& gf_allControlParameters() {
  static const std::vector<ParameterControl*> shown = [] {
    std::vector<ParameterControl*> list;
    for (Parameter* parameter : gf_allParameters())
      if (auto* control = dynamic_cast<ParameterControl*>(parameter)) list.push_back(control);
    return list;
  }();
  return shown;
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
