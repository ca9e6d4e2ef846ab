#pragma once
// Titles, bodies and every text the data files hold are counted byte strings in
// code page 932. Lengths are byte counts; nothing here knows about characters.
#include <string>
#include <string_view>

using TByteString = std::string;
using TByteView = std::string_view;
