#pragma once

namespace kv306 {

// While one lives, the texts made on its thread are English, whatever language the window
// speaks: the station's report is one format, whoever runs the station. Other threads, and the
// window's own, keep their language.
class EnglishTexts {
public:
    EnglishTexts();
    ~EnglishTexts();
    EnglishTexts(const EnglishTexts &) = delete;
    EnglishTexts &operator=(const EnglishTexts &) = delete;

    // Makes the translation ready; called once on the application's own thread before any
    // EnglishTexts is made on another (a Station does so when it is made).
    static void Prepare();
};

}  // namespace kv306
