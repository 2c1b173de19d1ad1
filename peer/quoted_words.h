// quoted_words: the quoting rule of the client's text files (request files
// and recorded replies).
//
// A line is split into words at blanks (spaces and tabs). A double quote
// opens a quoted part that runs to the next unescaped double quote; inside
// it blanks belong to the word, and a backslash takes the next character as
// it stands ("\"" a quote, "\\" a backslash), except "\n" and "\r", which stand
// for a newline and a carriage return. Outside quotes every character stands
// for itself. Quotes may sit anywhere in a word: addr1_slot2="SAN ALBERO" and
// "addr1_slot2=SAN ALBERO" are the same word; "" is an empty word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace erp {

// The words of `line`; false with a reason in *err for an unclosed quote.
bool split_words(std::string_view line, std::vector<std::string>* words, std::string* err);

// `text` as one quoted word that split_words gives back unchanged.
std::string quote_word(std::string_view text);

}  // namespace erp
