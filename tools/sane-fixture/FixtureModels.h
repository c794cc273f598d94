// The devices of the fixture backend, each presenting the option set of one real SANE backend as
// that backend's module names its options and values. Data only: the backend's code knows no model.
#pragma once

#include <sane/sane.h>

#include <string>
#include <vector>

namespace fixture {

// One option: its descriptor's fields and its value when the device is opened.
struct OptionRow {
  const char *name;
  SANE_Value_Type type;
  SANE_Int cap;
  std::vector<std::string> strings;      // a string list
  std::vector<SANE_Word> words;          // a word list
  SANE_Word min = 0, max = 0, quant = 0; // a range (min < max)
  SANE_Word word = 0;                    // initial bool, int or fixed value
  std::string text;                      // initial string value
  // Active only while this other string option holds this value (e.g. adf-mode with the ADF).
  const char *activeWhen = nullptr;
  const char *activeValue = nullptr;
};

struct Model {
  const char *device; // the SANE name, after "tovik:"
  const char *vendor;
  const char *model;
  const char *models; // which backend's option set it presents
  std::vector<OptionRow> options;
};

const std::vector<Model> &Models();

} // namespace fixture
