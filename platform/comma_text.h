// The input list: one name, or several as comma text (the form in which the
// file chooser writes several names into the input field).
#pragma once

#include <string>
#include <vector>

// Splits the input field's text into input names. Without a double quote or
// a comma the whole text is the one name (an empty text gives one empty name).
std::vector<std::string> ParseInputList(const std::string& text);

// Writes names the way the chooser does: one name bare; several joined by
// ",", quoting a name that holds a blank, comma, double quote or control
// character and doubling its inner quotes.
std::string ToCommaText(const std::vector<std::string>& names);
