#pragma once
// A reproducible text corpus: sentences of words from several languages
// (Latin, Cyrillic, Greek and CJK scripts, UTF-8), with punctuation and
// line breaks, drawn by a fixed pseudo-random generator.
#include <cstddef>
#include <string>

std::string MakeCorpus(size_t size);
