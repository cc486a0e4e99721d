// Switches the C library and Qt to German number formatting (decimal comma) for one test
// process. The locale is compiled into the build tree (ZEMBRA_TEST_LOCALE_DIR), so the
// machine needs none installed.
#pragma once

#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zembra::testing {

// Returns an empty text when the locale is active, the reason otherwise.
inline std::string UseCommaLocale() {
  setenv("LOCPATH", ZEMBRA_TEST_LOCALE_DIR, 1);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    return "cannot switch to de_DE.UTF-8 from " ZEMBRA_TEST_LOCALE_DIR
           " (built with localedef from the locales package)";
  }
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 0.5);
  if (std::string(text) != "0,5") return "de_DE.UTF-8 does not format 0.5 as 0,5";
  return {};
}

}  // namespace zembra::testing
