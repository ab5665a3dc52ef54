// OffscreenPrinting: PDF printing for the terminal front end. Printing needs
// fonts, hence a GUI application, which the terminal otherwise does without
// (one on the display's platform would fail where there is no display); this
// makes one on the "offscreen" platform, on the first print only, and keeps
// it until it is destroyed itself.
#pragma once

#include "review/ConsoleReview.h"

#include <memory>

class QGuiApplication;

namespace tarvex {

class OffscreenPrinting {
public:
    OffscreenPrinting();
    ~OffscreenPrinting();
    OffscreenPrinting(const OffscreenPrinting&) = delete;
    OffscreenPrinting& operator=(const OffscreenPrinting&) = delete;

    // Prints the list to a PDF file; usable while this object lives. Uses the
    // program's own application instead when one exists already.
    PdfPrinter pdfPrinter();

private:
    std::unique_ptr<QGuiApplication> m_application;
};

} // namespace tarvex
