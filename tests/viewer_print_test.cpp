// Printing: pages produced as PDF files through the same routine a real printer gets, rendered back
// with pdftoppm and compared with the fitted, centred picture; the cancel box, the error reports of
// a failing device, and the print dialog run from the command.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QMap>
#include <climits>
#include <filesystem>

#include "tests/viewer_support/modal_driver.h"
#include "tests/viewer_support/viewer_fixture.h"
#include "viewer/commands/command_ids.h"
#include "viewer/commands/print_job.h"
#include "viewer/dialogs/dialog_controls.h"
#include "viewer/dialogs/print_cancel_dialog.h"
#include "viewer/dialogs/print_errors.h"
#include "viewer/shell/toolbar_strip.h"

namespace {

// A PDF printer whose device pixels are points, so a page rendered at 72 dpi maps 1:1 onto them.
// The margins move the printable area off the paper's corner.
constexpr QMarginsF kMargins(10, 20, 14, 16);

void SetUpPdfPrinter(QPrinter& printer, const std::string& path, QSizeF portraitPoints,
                     QPageLayout::Orientation orientation) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    printer.setResolution(72);
    printer.setPageSize(QPageSize(portraitPoints, QPageSize::Point));
    printer.setPageOrientation(orientation);
    printer.setPageMargins(kMargins, QPageLayout::Point);
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString PdfInfoField(const std::string& pdf, const QString& field) {
    const QString info = Run(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf)});
    const QRegularExpression line(QStringLiteral("^%1:\\s*(.*)$").arg(field), QRegularExpression::MultilineOption);
    return line.match(info).captured(1).trimmed();
}

// Page `page` (from 1) of the PDF at 72 dpi.
QImage RenderPage(const std::string& pdf, int page, const std::string& prefix) {
    const QString number = QString::number(page);
    Run(QStringLiteral("pdftoppm"), {"-r", "72", "-f", number, "-l", number, "-singlefile", "-png",
                                     QString::fromStdString(pdf), QString::fromStdString(prefix)});
    return QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB32);
}

bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Compares a rendered page with the image drawn at `target` (page coordinates): white around it,
// each image pixel a block of its colour. Pixels within one page pixel of an edge of the picture or
// (two inside it) of a block are left out, where the renderer's antialiasing mixes colours. Returns the mismatches.
int PageMismatches(const QImage& page, const IMG& image, const QRect& target, std::string& first) {
    int mismatches = 0;
    const double scaleX = double(target.width()) / image.width;
    const double scaleY = double(target.height()) / image.height;
    // The renderer spreads the rows and columns of a scaled picture over whole pixels, so a block
    // edge inside the picture may move by a pixel more than its outline does.
    auto nearEdge = [](double position, double scale, int count) {  // position in image pixels
        const double edge = std::round(position);
        const double distance = std::abs(position - edge) * scale;
        return distance < (edge <= 0 || edge >= count ? 1.0 : 2.0);
    };
    for (int py = 0; py < page.height(); ++py)
        for (int px = 0; px < page.width(); ++px) {
            const double sx = (px + 0.5 - target.left()) / scaleX;
            const double sy = (py + 0.5 - target.top()) / scaleY;
            if (nearEdge(sx, scaleX, image.width) || nearEdge(sy, scaleY, image.height)) continue;
            const bool inside = sx > 0 && sy > 0 && sx < image.width && sy < image.height;
            const QRgb expected = inside ? ColourOf(image, int(sx), int(sy)) : qRgb(255, 255, 255);
            if (!Near(page.pixel(px, py), expected, 6) && mismatches++ == 0)
                first = "at " + std::to_string(px) + "," + std::to_string(py) + ": " +
                        QString::number(page.pixel(px, py) & 0xFFFFFF, 16).toStdString() + " for " +
                        QString::number(expected & 0xFFFFFF, 16).toStdString();
        }
    return mismatches;
}

}  // namespace

TEST(FitImageOnPage, KeepsTheAspectCentresAndTruncates) {
    struct Case {
        int pageWidth, pageHeight, imageWidth, imageHeight;
        QRect expected;
    } cases[] = {
        {1000, 700, 300, 600, {325, 0, 350, 700}},  // tall image: the height limits, centred across
        {700, 1000, 600, 300, {0, 325, 700, 350}},  // wide image: the width limits, centred down
        {100, 100, 3, 7, {29, 0, 42, 100}},         // 100 x 3 / 7 = 42.86 truncates, (100 - 42) / 2 = 29
        {100, 100, 7, 3, {0, 29, 100, 42}},
        {640, 480, 64, 48, {0, 0, 640, 480}},       // same aspect: the whole area
        {3000, 2000, 65535, 1, {0, 1000, 3000, 0}}, // a line too thin for the page has no height
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitImageOnPage(c.pageWidth, c.pageHeight, c.imageWidth, c.imageHeight), c.expected)
            << c.pageWidth << "x" << c.pageHeight << " " << c.imageWidth << "x" << c.imageHeight;
}

TEST(PrintDocumentName, HoldsAtMostAHundredCharactersOfTheTitle) {
    EXPECT_EQ(PrintDocumentName(QStringLiteral("New 3")), QStringLiteral("Lumo (New 3)"));
    const QString longTitle = QString(98, QLatin1Char('a')) + QStringLiteral("bcdef");
    EXPECT_EQ(PrintDocumentName(longTitle), QStringLiteral("Lumo (") + QString(98, QLatin1Char('a')) + "bc)");
}

TEST(PrintErrors, TextsOfTheTwoTables) {
    EXPECT_STREQ(CommonDialogErrorText(0), "General Codes");
    EXPECT_STREQ(CommonDialogErrorText(12), "Registermsg Fail");
    EXPECT_STREQ(CommonDialogErrorText(13), "Unknown Error");
    EXPECT_STREQ(CommonDialogErrorText(kDialogFailure), "Dialog Failure");
    EXPECT_STREQ(CommonDialogErrorText(kPrinterNotFound), "Unknown Error");
    EXPECT_EQ(SpoolerErrorText(kSpoolAppAbort), nullptr);  // the user's own Cancel says nothing
    EXPECT_STREQ(SpoolerErrorText(kSpoolUserAbort), "Travail d'impression interrompu via le gestionnaire d'impression");
    EXPECT_STREQ(SpoolerErrorText(-6), "Erreur Impression de type inconnu");
    EXPECT_STREQ(SpoolerErrorText(0), "Erreur Impression de type inconnu");
}

class PrintTest : public ViewerTest {
protected:
    std::string pdf = "";
    void SetUp() override {
        ViewerTest::SetUp();
        pdf = tempPath("page.pdf");
    }
};

struct PageCase {
    const char* name;
    QPageLayout::Orientation orientation;
    ImageKind kind;
    int width, height;
};

void PrintTo(const PageCase& c, std::ostream* out) { *out << c.name; }

class PrintPageTest : public PrintTest, public ::testing::WithParamInterface<PageCase> {};

// The paper is 300 x 400 points turned as the case says; the printable area lies inside the margins
// and its bottom 2 % stays free.
TEST_P(PrintPageTest, PdfPageShowsTheImageFittedAndCentred) {
    const PageCase& c = GetParam();
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, pdf, {300, 400}, c.orientation);
    ImagePtr image = MakePatternImage(c.kind, c.width, c.height, 7);

    const int areaWidth = printer.width(), areaHeight = printer.height();
    ASSERT_EQ(PrintImage(printer, *image, QStringLiteral("/pictures/page.bmp"), nullptr), PrintOutcome::Printed);
    EXPECT_TRUE(boxes.empty());

    ASSERT_EQ(PdfInfoField(pdf, "Pages"), "1");
    const QImage page = RenderPage(pdf, 1, tempPath("page"));
    const QSize paper = c.orientation == QPageLayout::Landscape ? QSize(400, 300) : QSize(300, 400);
    ASSERT_EQ(page.size(), paper);
    ASSERT_EQ(areaWidth, paper.width() - 24);
    ASSERT_EQ(areaHeight, paper.height() - 36);

    const QRect fitted = FitImageOnPage(areaWidth, areaHeight - areaHeight / 50, c.width, c.height);
    const QRect onPaper = fitted.translated(int(kMargins.left()), int(kMargins.top()));
    std::string first;
    EXPECT_EQ(PageMismatches(page, *image, onPaper, first), 0) << first << ", picture at " << onPaper.x() << ","
                                                               << onPaper.y() << " " << onPaper.width() << "x"
                                                               << onPaper.height();
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PrintPageTest,
    ::testing::Values(PageCase{"LandscapeTallRgb", QPageLayout::Landscape, ImageKind::RGB, 6, 11},
                      PageCase{"PortraitWideColor16", QPageLayout::Portrait, ImageKind::COLOR16, 13, 5},
                      PageCase{"PortraitTallGray256", QPageLayout::Portrait, ImageKind::GRAY256, 5, 9},
                      PageCase{"LandscapeWideBw", QPageLayout::Landscape, ImageKind::BW, 12, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintTest, TwoCopiesGiveTwoEqualPagesInADocumentNamedAfterTheWindow) {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, pdf, {300, 400}, QPageLayout::Portrait);
    printer.setCopyCount(2);
    ImagePtr image = MakePatternImage(ImageKind::COLOR256, 9, 7);
    std::vector<int> pagesDrawn;
    PrintJobHooks hooks;
    hooks.pageDrawn = [&](int copy) { pagesDrawn.push_back(copy); };

    ASSERT_EQ(PrintImage(printer, *image, QStringLiteral("/tmp/holiday photo.jpg"), nullptr, hooks),
              PrintOutcome::Printed);
    EXPECT_EQ(pagesDrawn, (std::vector<int>{1, 2}));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(PdfInfoField(pdf, "Pages"), "2");
    EXPECT_EQ(PdfInfoField(pdf, "Title"), "Lumo (/tmp/holiday photo.jpg)");
    const QImage first = RenderPage(pdf, 1, tempPath("first"));
    const QImage second = RenderPage(pdf, 2, tempPath("second"));
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, second);
    EXPECT_EQ(PrintCancelBox(), nullptr);  // the cancel box is gone with the job
}

// Cancel is pressed while the first of two pages is produced: the click waits in the event queue
// until the page ends, where the abort procedure lets it reach the box.
TEST_F(PrintTest, CancelDuringTheFirstPageReportsOnlyPrintingCanceled) {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, pdf, {300, 400}, QPageLayout::Portrait);
    printer.setCopyCount(2);
    ImagePtr image = MakePatternImage(ImageKind::RGB, 8, 8);
    std::vector<int> pagesDrawn;
    PrintJobHooks hooks;
    hooks.pageDrawn = [&](int copy) {
        pagesDrawn.push_back(copy);
        PrintCancelDialog* box = PrintCancelBox();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal());
        EXPECT_EQ(box->objectName(), "PRINTING");
        EXPECT_EQ(box->windowTitle(), "Impression....");
        auto* text = qobject_cast<QLabel*>(FindControl(box, PrintCancelDialog::kTextId));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), "Printing...");
        EXPECT_EQ(box->cancelButton()->text(), "Cancel");
        if (copy == 1) QMetaObject::invokeMethod(box->cancelButton(), &QPushButton::click, Qt::QueuedConnection);
    };

    EXPECT_EQ(PrintImage(printer, *image, QStringLiteral("New 1"), nullptr, hooks), PrintOutcome::Canceled);
    EXPECT_EQ(pagesDrawn, std::vector<int>{1});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(boxes[0].text, "Printing canceled");
    EXPECT_FALSE(std::filesystem::exists(pdf));  // a cancelled document leaves no half-written file
    EXPECT_EQ(PrintCancelBox(), nullptr);
    EXPECT_FALSE(PrintJobRunning());
}

TEST_F(PrintTest, AFileThatCannotBeWrittenFailsTheStartOfTheDocument) {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, tempPath("no such folder/page.pdf"), {300, 400}, QPageLayout::Portrait);
    ImagePtr image = MakePatternImage(ImageKind::GRAY16, 4, 4);
    EXPECT_EQ(PrintImage(printer, *image, QStringLiteral("New 2"), nullptr), PrintOutcome::Failed);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "StartDoc Failed");
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_EQ(boxes[1].text, "Error during printing");
}

namespace {

// A print device that fails where it is told to, and counts what it is asked to do.
enum class Fault { None, StartDoc, StartPage, PageError, PageAbortedByService, EndDoc };

class FaultyPrintEngine : public QPaintEngine, public QPrintEngine {
public:
    FaultyPrintEngine(Fault fault, bool drawsImages)
        : QPaintEngine(drawsImages ? PaintEngineFeatures(AllFeatures)
                                   : PaintEngineFeatures(AllFeatures) & ~PaintEngineFeatures(PixmapTransform)),
          fault_(fault) {}

    bool begin(QPaintDevice*) override {
        state_ = fault_ == Fault::StartDoc ? QPrinter::Error : QPrinter::Active;
        return fault_ != Fault::StartDoc;
    }
    bool end() override {
        state_ = QPrinter::Idle;
        return fault_ != Fault::EndDoc;
    }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { ++images; }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override { ++images; }
    // Without picture transforms the painter fills the target with the picture as a brush.
    void drawPath(const QPainterPath&) override { ++images; }
    Type type() const override { return User; }

    void setProperty(PrintEnginePropertyKey key, const QVariant& value) override { properties_[key] = value; }
    QVariant property(PrintEnginePropertyKey key) const override { return properties_.value(key); }
    bool newPage() override {
        ++newPages;
        return fault_ != Fault::StartPage;
    }
    bool abort() override {
        aborted = true;
        return false;
    }
    int metric(QPaintDevice::PaintDeviceMetric metric) const override {
        switch (metric) {
        case QPaintDevice::PdmWidth: return 500;
        case QPaintDevice::PdmHeight: return 700;
        case QPaintDevice::PdmWidthMM: return 176;
        case QPaintDevice::PdmHeightMM: return 247;
        case QPaintDevice::PdmDepth: return 32;
        case QPaintDevice::PdmNumColors: return INT_MAX;
        case QPaintDevice::PdmDevicePixelRatio: return 1;
        case QPaintDevice::PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
        default: return 72;  // resolutions
        }
    }
    QPrinter::PrinterState printerState() const override {
        if (state_ == QPrinter::Active && images > 0) {
            if (fault_ == Fault::PageError) return QPrinter::Error;
            if (fault_ == Fault::PageAbortedByService) return QPrinter::Aborted;
        }
        return state_;
    }

    int images = 0;
    int newPages = 0;
    bool aborted = false;

private:
    Fault fault_;
    QPrinter::PrinterState state_ = QPrinter::Idle;
    QMap<int, QVariant> properties_;
};

class FaultyPrinter : public QPrinter {
public:
    explicit FaultyPrinter(FaultyPrintEngine& engine) { setEngines(&engine, &engine); }
};

struct FaultCase {
    const char* name;
    Fault fault;
    std::vector<std::string> texts;  // the boxes shown, in order
    int images;                      // pictures drawn
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class PrintFaultTest : public PrintTest, public ::testing::WithParamInterface<FaultCase> {};

}  // namespace

TEST_P(PrintFaultTest, AFailingDeviceEndsTheJobWithItsReport) {
    const FaultCase& c = GetParam();
    FaultyPrintEngine engine(c.fault, true);
    FaultyPrinter printer(engine);
    printer.setCopyCount(2);
    ImagePtr image = MakePatternImage(ImageKind::RGB, 5, 3);

    EXPECT_EQ(PrintImage(printer, *image, QStringLiteral("New 4"), nullptr), PrintOutcome::Failed);
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes) texts.push_back(box.text);
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(engine.images, c.images);
    EXPECT_EQ(engine.aborted, c.fault == Fault::StartPage || c.fault == Fault::PageError ||
                                  c.fault == Fault::PageAbortedByService);
    EXPECT_EQ(printer.copyCount(), 1);  // the copies were printed as pages, not handed to the device
    EXPECT_FALSE(PrintJobRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrintFaultTest,
    ::testing::Values(
        FaultCase{"StartDoc", Fault::StartDoc, {"StartDoc Failed", "Error during printing"}, 0},
        FaultCase{"StartPage", Fault::StartPage, {"StartPage Failed", "Error during printing"}, 1},
        FaultCase{"PageError", Fault::PageError, {"Erreur generale", "Error during printing"}, 1},
        FaultCase{"PageAbortedByService",
                  Fault::PageAbortedByService,
                  {"Travail d'impression interrompu via le gestionnaire d'impression", "Error during printing"},
                  1},
        FaultCase{"EndDoc", Fault::EndDoc, {"EndDoc Failed", "Error during printing"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintTest, ADeviceThatCannotDrawImagesIsReportedAndStillPrints) {
    FaultyPrintEngine engine(Fault::None, false);
    FaultyPrinter printer(engine);
    ImagePtr image = MakePatternImage(ImageKind::GRAY256, 5, 3);
    EXPECT_EQ(PrintImage(printer, *image, QStringLiteral("New 5"), nullptr), PrintOutcome::Printed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Can't print images on this printer");
    EXPECT_EQ(engine.images, 1);
}

// The command: Print offers the dialog for the active window; closing it prints nothing and says nothing.
TEST_F(PrintTest, CancellingThePrintDialogShowsNothing) {
    const QString file = writeBmp("shown.bmp", ImageKind::RGB, 20, 10);
    start({file});
    ASSERT_NE(frame().activeImageWindow(), nullptr);
    EXPECT_TRUE(frame().toolbarStrip().button(command::Print)->isEnabled());

    bool asked = false;
    WhenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "not the print dialog";
            modal->close();
            return;
        }
        asked = true;
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintPageRange));
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintSelection));
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintCurrentPage));
        dialog->reject();
    });
    frame().runCommand(command::Print);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(PrintCancelBox(), nullptr);
}

// The whole command as the user runs it: the dialog's PDF output with two copies, then the document
// of the window's picture, named after the window.
TEST_F(PrintTest, PrintingToAFileFromTheDialogWritesOnePagePerCopy) {
    const QString file = writeBmp("shown.bmp", ImageKind::COLOR256, 30, 12);
    start({file});
    WhenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        auto* output = modal->findChild<QLineEdit*>(QStringLiteral("filename"));
        auto* copies = modal->findChild<QSpinBox*>(QStringLiteral("copies"));
        auto* printers = modal->findChild<QComboBox*>(QStringLiteral("printers"));
        if (!dialog || !output || !copies || !printers) {
            ADD_FAILURE() << "not the print dialog with its printer, file and copies fields";
            modal->close();
            return;
        }
        printers->setCurrentIndex(printers->count() - 1);  // "Print to File (PDF)", never a real printer
        output->setText(QString::fromStdString(pdf));
        copies->setValue(2);
        dialog->accept();
    });
    frame().runCommand(command::Print);
    EXPECT_TRUE(boxes.empty());
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(PdfInfoField(pdf, "Pages"), "2");
    EXPECT_EQ(PdfInfoField(pdf, "Title"), "Lumo (" + file + ")");
    EXPECT_FALSE(PrintJobRunning());
}

// While the pages are produced the windows keep working: the user converts the picture and closes
// its window, and a second Print does nothing. The job prints the picture as it was chosen.
TEST_F(PrintTest, TheWindowsKeepWorkingWhileTheJobRuns) {
    const QString file = writeBmp("colour.bmp", ImageKind::RGB, 16, 16);
    start({file});
    answer = Answer::No;  // the converted picture is not saved when its window closes

    QTimer watchdog;  // closes a print dialog that a second Print should not have opened
    watchdog.setSingleShot(true);
    bool secondDialog = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            secondDialog = true;
            modal->close();
        }
    });
    bool ranDuringJob = false;
    int waits = 0;
    std::function<void()> duringJob = [&] {
        if (!PrintJobRunning()) {
            if (++waits < 1000) QMetaObject::invokeMethod(&frame(), duringJob, Qt::QueuedConnection);
            return;
        }
        ranDuringJob = true;
        watchdog.start(500);
        frame().runCommand(command::Print);
        watchdog.stop();
        frame().runCommand(command::ToGray256);
        frame().runCommand(command::CloseAll);
    };
    WhenModalShows([&](QWidget* modal) {
        auto* output = modal->findChild<QLineEdit*>(QStringLiteral("filename"));
        auto* printers = modal->findChild<QComboBox*>(QStringLiteral("printers"));
        if (!output || !printers) {
            ADD_FAILURE() << "not the print dialog";
            modal->close();
            return;
        }
        printers->setCurrentIndex(printers->count() - 1);
        output->setText(QString::fromStdString(pdf));
        QMetaObject::invokeMethod(&frame(), duringJob, Qt::QueuedConnection);
        static_cast<QDialog*>(modal)->accept();
    });
    frame().runCommand(command::Print);
    settle();

    EXPECT_TRUE(ranDuringJob);
    EXPECT_FALSE(secondDialog);
    EXPECT_EQ(windowCount(), 0);
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(PdfInfoField(pdf, "Pages"), "1");
    const QImage page = RenderPage(pdf, 1, tempPath("page"));
    const QRgb centre = page.pixel(page.width() / 2, page.height() / 3);
    EXPECT_FALSE(qRed(centre) == qGreen(centre) && qGreen(centre) == qBlue(centre))
        << "the page shows the converted gray picture, not the one chosen";
}
