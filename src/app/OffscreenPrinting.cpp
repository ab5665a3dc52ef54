// The GUI application made for a print from the terminal.
#include "app/OffscreenPrinting.h"

#include "review/qt/ListPrinter.h"

#include <QGuiApplication>

namespace tarvex {

namespace {

// QGuiApplication keeps a reference to its argument count and the strings
// for its whole life, so they are static.
char programName[] = "tarvex";
char platformOption[] = "-platform";
char platformName[] = "offscreen";
char* offscreenArgv[] = {programName, platformOption, platformName, nullptr};
int offscreenArgc = 3;

} // namespace

OffscreenPrinting::OffscreenPrinting() = default;

OffscreenPrinting::~OffscreenPrinting() = default;

PdfPrinter OffscreenPrinting::pdfPrinter()
{
    return [this](const std::vector<ProposedChange>& rows, const PrintHeading& heading, const std::string& path) {
        if (!QGuiApplication::instance())
            m_application = std::make_unique<QGuiApplication>(offscreenArgc, offscreenArgv);
        return printListToPdf(rows, path, heading);
    };
}

} // namespace tarvex
