#include "bench/methods/Corpus.h"

#include <cstdint>

namespace {

const char* const Words[] = {
    // English
    "the", "of", "and", "to", "in", "is", "that", "it", "was", "for", "on", "are", "with", "as", "his", "they",
    "be", "at", "one", "have", "this", "from", "word", "but", "what", "some", "other", "were", "which", "their",
    "time", "would", "there", "people", "number", "water", "called", "little", "between", "extension", "browser",
    "manifest", "version", "description", "application", "settings", "window", "memory", "archive", "library",
    // German
    "und", "der", "die", "das", "nicht", "ist", "mit", "sich", "auf", "für", "Straße", "Größe", "Änderung",
    "Schlüssel", "Verzeichnis", "übersetzt", "Erweiterung", "Einstellungen", "können", "müssen",
    // French
    "le", "la", "les", "est", "une", "pour", "avec", "être", "très", "déjà", "où", "fenêtre", "paramètres",
    "bibliothèque", "données", "créer", "français", "système", "à", "été",
    // Spanish, Portuguese, Polish
    "año", "niño", "también", "información", "português", "não", "ação", "zażółć", "gęślą", "jaźń", "język",
    // Russian, Ukrainian
    "и", "в", "не", "на", "что", "быть", "этот", "который", "расширение", "браузер", "настройки", "окно",
    "описание", "версия", "приложение", "пользователь", "їжак", "ґанок", "щастя",
    // Greek
    "και", "το", "της", "είναι", "επέκταση", "ρυθμίσεις", "γλώσσα", "περιγραφή",
    // Japanese, Chinese, Korean
    "拡張機能", "設定", "説明", "ブラウザ", "バージョン", "扩展", "浏览器", "描述", "版本", "확장", "브라우저", "설정",
};
constexpr size_t WordCount = sizeof Words / sizeof Words[0];

// xorshift64*: fixed seed, the same corpus on every machine.
struct TRandom {
    uint64_t State = 0x9E3779B97F4A7C15ull;
    uint64_t Next()
    {
        State ^= State >> 12;
        State ^= State << 25;
        State ^= State >> 27;
        return State * 0x2545F4914F6CDD1Dull;
    }
    size_t Below(size_t n) { return static_cast<size_t>((Next() >> 33) % n); }
};

} // namespace

std::string MakeCorpus(size_t size)
{
    TRandom random;
    // A skewed choice, as in real text: a few words are very common.
    std::string text;
    text.reserve(size + 64);
    bool capital = true;
    size_t lineLength = 0;
    while (text.size() < size) {
        const size_t a = random.Below(WordCount);
        const size_t b = random.Below(WordCount);
        std::string word = Words[a < b ? a : b];
        if (capital && word[0] >= 'a' && word[0] <= 'z')
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        capital = false;
        text += word;
        lineLength += word.size();
        const size_t r = random.Below(100);
        if (r < 8) {
            text += ". ";
            capital = true;
        } else if (r < 14) {
            text += ", ";
        } else if (r < 15) {
            text += random.Below(2) ? "? " : "! ";
            capital = true;
        } else if (r < 16) {
            text += std::to_string(random.Below(100000));
            text += ' ';
        } else {
            text += ' ';
        }
        if (lineLength > 70) {
            text += capital && random.Below(4) == 0 ? "\n\n" : "\n";
            lineLength = 0;
        }
    }
    text.resize(size);
    return text;
}
