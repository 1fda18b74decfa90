// The window's keyword filter, as the listing consults it for every link.
#pragma once

#include <string>

namespace movrek {

// The keyword filter as the window shows it when the value is read.
struct TFilterSettings {
  bool Enabled = false;  // CheckBox2 ticked
  int Mode = 0;          // ComboBox1 item: 0 "Having", any other "Not Having"
  std::string Keyword;   // Edit1
};

}  // namespace movrek
