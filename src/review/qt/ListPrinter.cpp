// Laying out the list page by page with a painter: a text document of a
// hundred thousand table rows would take minutes and a great deal of memory.
#include "review/qt/ListPrinter.h"

#include "platform/os/StagedFile.h"
#include "platform/text/VisibleText.h"
#include "review/PrintTarget.h"
#include "review/ReviewColumns.h"
#include "review/WorkPacer.h"
#include "review/qt/ListFont.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <array>
#include <memory>

namespace tarvex {

namespace {

class PageWriter {
public:
    PageWriter(QPagedPaintDevice& printer, QPainter& painter, const PrintHeading& heading, std::size_t rowCount)
        : m_printer(printer)
        , m_painter(painter)
        , m_body(listFont())
        , m_titleFont(listFont(true))
        , m_width(printer.width())
        , m_height(printer.height())
    {
        QFontMetrics metrics(m_body, &printer);
        m_rowHeight = metrics.height() * 5 / 4;
        m_padding = metrics.averageCharWidth() / 2;
        // The margin that holds the selection marks.
        m_gutter = metrics.horizontalAdvance(QStringLiteral("[x]")) + 2 * m_padding;
        int x = 0;
        for (ReviewColumn column : kReviewColumns) {
            m_left[columnIndex(column)] = m_gutter + (m_width - m_gutter) * x / totalColumnWidth();
            x += columnWidth(column);
        }
        m_left[kReviewColumnCount] = m_width;
        m_titlesHeight = columnTitlesHeight();
        m_footer = m_rowHeight * 3 / 2;
        m_pages = pagesFor(rowCount);
        m_footerLeft = QString::fromStdString(printHeadingLine(heading));
    }

    // The title, the sub-title and the column titles of the first page.
    void startFirstPage()
    {
        m_y = 0;
        drawLine(listFont(14, true), QString::fromLatin1(kPrintTitle));
        drawLine(listFont(11, false), QString::fromLatin1(kPrintSubTitle));
        m_y += m_rowHeight / 2;
        drawColumnTitles();
    }

    // One row; a new page with the column titles first when this one is full.
    // Fails when the printer cannot start a new page.
    bool drawRow(const ProposedChange& row, bool selected)
    {
        if (m_rowsOnPage > 0 && m_y + m_rowHeight > m_height - m_footer) {
            drawFooter();
            if (!m_printer.newPage())
                return false;
            ++m_page;
            m_rowsOnPage = 0;
            m_y = 0;
            drawColumnTitles();
        }
        m_painter.setFont(m_body);
        QFontMetrics metrics = m_painter.fontMetrics();
        if (selected)
            m_painter.drawText(QRect(0, m_y, m_gutter, m_rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                               QStringLiteral("[x]"));
        for (ReviewColumn column : kReviewColumns)
            drawCell(metrics, column, QString::fromStdString(visibleText(row.cell(column))).simplified());
        m_y += m_rowHeight;
        ++m_rowsOnPage;
        return true;
    }

    // The foot of the last page.
    void finish() { drawFooter(); }

private:
    int lineHeight(const QFont& font) const { return QFontMetrics(font, &m_printer).height() * 5 / 4; }

    // How many pages rowCount rows take, laid out as drawRow lays them out.
    int pagesFor(std::size_t rowCount) const
    {
        int firstTop = lineHeight(listFont(14, true)) + lineHeight(listFont(11, false)) + m_rowHeight / 2;
        int titles = m_titlesHeight + m_rowHeight / 4;
        auto fits = [&](int top) { return std::max(1, (m_height - m_footer - top - titles) / m_rowHeight); };
        std::size_t first = static_cast<std::size_t>(fits(firstTop));
        if (rowCount <= first)
            return 1;
        std::size_t other = static_cast<std::size_t>(fits(0));
        return 1 + static_cast<int>((rowCount - first + other - 1) / other);
    }

    void drawLine(const QFont& font, const QString& text)
    {
        m_painter.setFont(font);
        int height = lineHeight(font);
        m_painter.drawText(QRect(0, m_y, m_width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
        m_y += height;
    }

    // The vendor, the time and the host at the left, the page at the right.
    void drawFooter()
    {
        m_painter.setFont(m_body);
        QRect foot(0, m_height - m_rowHeight, m_width, m_rowHeight);
        QString page = QStringLiteral("Page %1 of %2").arg(m_page).arg(m_pages);
        QFontMetrics metrics = m_painter.fontMetrics();
        int room = m_width - metrics.horizontalAdvance(page) - 4 * m_padding;
        m_painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                           metrics.elidedText(m_footerLeft, Qt::ElideMiddle, room));
        m_painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, page);
    }

    static constexpr int kTitleFlags = Qt::TextWordWrap | Qt::AlignBottom;

    // The column titles wrap onto a second line where a narrow column
    // cannot hold them, instead of being cut short.
    int columnTitlesHeight() const
    {
        QFontMetrics metrics(m_titleFont, &m_printer);
        int height = m_rowHeight;
        for (ReviewColumn column : kReviewColumns) {
            QRect room(0, 0, cellRect(column, 0).width(), m_height);
            QRect needed = metrics.boundingRect(room, kTitleFlags, QString::fromLatin1(columnTitle(column)));
            height = std::max(height, needed.height() + m_rowHeight - metrics.height());
        }
        return height;
    }

    void drawColumnTitles()
    {
        m_painter.setFont(m_titleFont);
        for (ReviewColumn column : kReviewColumns)
            m_painter.drawText(cellRect(column, m_titlesHeight),
                               kTitleFlags | (isNumberColumn(column) ? Qt::AlignRight : Qt::AlignLeft),
                               QString::fromLatin1(columnTitle(column)));
        m_y += m_titlesHeight;
        m_painter.drawLine(0, m_y, m_width, m_y);
        m_y += m_rowHeight / 4;
    }

    // The room for a column's text on the current line, inside its padding.
    QRect cellRect(ReviewColumn column, int height) const
    {
        int c = columnIndex(column);
        return QRect(m_left[c] + m_padding, m_y, m_left[c + 1] - m_left[c] - 2 * m_padding, height);
    }

    void drawCell(const QFontMetrics& metrics, ReviewColumn column, const QString& text)
    {
        QRect cell = cellRect(column, m_rowHeight);
        Qt::Alignment align = (isNumberColumn(column) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        // A cell too long for its column is cut with an ellipsis rather than
        // run into the next column.
        m_painter.drawText(cell, align, metrics.elidedText(text, Qt::ElideRight, cell.width()));
    }

    QPagedPaintDevice& m_printer;
    QPainter& m_painter;
    QFont m_body;
    QFont m_titleFont;
    int m_width;
    int m_height;
    int m_rowHeight = 0;
    int m_padding = 0;
    int m_gutter = 0;
    int m_titlesHeight = 0;
    int m_footer = 0;
    int m_y = 0;
    int m_page = 1;
    int m_pages = 1;
    std::size_t m_rowsOnPage = 0;
    QString m_footerLeft;
    std::array<int, kReviewColumnCount + 1> m_left{};
};

std::string printerName(const QPrinter& printer)
{
    return "printer \"" + printer.printerName().toStdString() + "\"";
}

// Paints the list on device; name is what a failure calls it.
Status paintList(const std::vector<ProposedChange>& rows, QPagedPaintDevice& device, const std::string& name,
                 Prompter* prompter, const PrintHeading& heading)
{
    QPainter painter;
    if (!painter.begin(&device))
        return Status::failure(name + ": cannot be written to");
    PageWriter writer(device, painter, heading, rows.size());
    writer.startFirstPage();
    std::unique_ptr<WorkPacer> pacer;
    if (prompter)
        pacer = std::make_unique<WorkPacer>(*prompter, "Print List", "Printing the list", rows.size());
    std::uint64_t done = 0;
    for (const ProposedChange& row : rows) {
        bool selected = printsSelected(heading, done);
        ++done;
        if (!writer.drawRow(row, selected)) {
            painter.end();
            return Status::failure(name + ": cannot start a new page");
        }
        if (pacer)
            pacer->step(done);
    }
    writer.finish();
    if (!painter.end())
        return Status::failure(name + ": the list could not be finished");
    return Status::success();
}

// Writes the list as a PDF to a new file beside path, laid out as layout, and
// renames it over path once it is complete on disk: a full disk leaves the
// old file as it was and no partial one, and the failure names the reason.
Status writePdf(const std::vector<ProposedChange>& rows, const std::string& path, const QPageLayout& layout,
                int resolution, Prompter* prompter, const PrintHeading& heading)
{
    Result<StagedFile> staged = StagedFile::create(path, printFileMode(path));
    if (!staged)
        return staged.status();
    // The PDF goes through a QFile of our own, whose error tells why a write
    // failed; the printer's own file would only say that a page could not start.
    QFile file;
    if (!file.open(staged->fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return Status::failure(staged->path() + ": cannot be written: " + file.errorString().toStdString());
    Status painted = Status::success();
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(layout);
        writer.setResolution(resolution);
        writer.setTitle(QString::fromLatin1(kPrintTitle));
        writer.setCreator(QGuiApplication::applicationName());
        painted = paintList(rows, writer, path, prompter, heading);
    }
    file.flush();
    if (file.error() != QFileDevice::NoError)
        return Status::failure(path + ": cannot be written: " + file.errorString().toStdString());
    if (!painted.ok())
        return painted;
    file.close();
    return staged->commitReplacing(path);
}

} // namespace

Status printList(const std::vector<ProposedChange>& rows, QPrinter& printer, Prompter* prompter,
                 const std::vector<std::string>& keepOff, const PrintHeading& heading)
{
    if (!QGuiApplication::instance())
        return Status::failure("printing needs the program's window system, which is not running");
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return paintList(rows, printer, printerName(printer), prompter, heading);
    // Printing to a file: the same care as the terminal's "print".
    Result<PrintTarget> target = findPrintTarget(printer.outputFileName().toStdString(), keepOff);
    if (!target)
        return target.status();
    return writePdf(rows, target->path, printer.pageLayout(), printer.resolution(), prompter, heading);
}

Status printListToPdf(const std::vector<ProposedChange>& rows, const std::string& path, const PrintHeading& heading)
{
    if (!QGuiApplication::instance())
        return Status::failure("printing needs the program's window system, which is not running");
    // The layout a PDF printer would use: its page size and margins, turned.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    return writePdf(rows, path, printer.pageLayout(), printer.resolution(), nullptr, heading);
}

} // namespace tarvex
