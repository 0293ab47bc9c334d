// The opened test handed out: the workbook (a real .xlsx read back by openpyxl: cell texts and places,
// bold cells, landscape, fit to 1 x 10 pages, the centre header and the print titles; written in
// constant-memory mode; opened with the desktop's program or its place told; a file that cannot be
// written) and the comma-separated report (byte for byte with CR LF, the refusal without a test, the save
// dialog's filter, cancel, a report that fails part-way). Both take the stored test header, not unsaved
// edits of the test-information window, and keep the program's timers running while a long test is written.
#include "MainWindowRig.h"
#include "TestSupport.h"

#include "platform/Prompts.h"
#include "platform/ShowModal.h"
#include "platform/GridHelpers.h"
#include "platform/Workbook.h"
#include "records/Module1.h"
#include "records/TestHeaderUpdate.h"
#include "records/SettingsFile.h"
#include "review/TestExport.h"
#include "review/frmMain.h"
#include "review/frmOpenTest.h"
#include "review/frmTestInfo.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QFileInfo>
#include <QtTest>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>

using platform::ScriptedPrompts;
using testsupport::sqlExec;
using testsupport::sqlValue;

namespace {

// Reads a workbook with openpyxl: every non-empty cell with its text and boldness, and the page set-up.
const char* const kReader = R"PY(
import datetime, json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
def shown(c):
    # A number or time as its number format shows it (the formats the workbook uses).
    v, f = c.value, c.number_format
    if isinstance(v, (datetime.timedelta, datetime.time, datetime.datetime)):
        if isinstance(v, datetime.time): v = datetime.timedelta(hours=v.hour, minutes=v.minute, seconds=v.second)
        if isinstance(v, datetime.datetime): v = v - datetime.datetime(1899, 12, 30)
        t = round(v.total_seconds())
        return "%02d:%02d:%02d" % (t // 3600, t // 60 % 60, t % 60), "time", f
    if isinstance(v, (int, float)):
        pct = f.endswith("%")
        core = f.rstrip("%")
        d = len(core.split(".")[1]) if "." in core else 0
        text = "%.*f" % (d, v * 100 if pct else v)
        if core.endswith("."): text += "."
        return text + ("%" if pct else ""), "number", f
    return str(v), "text", f
cells = {}
types = {}
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            text, kind, f = shown(c)
            cells[c.coordinate] = [text, bool(c.font is not None and c.font.b)]
            types[c.coordinate] = [kind, f, repr(c.value)]
pr = ws.sheet_properties.pageSetUpPr
print(json.dumps({
    "cells": cells,
    "types": types,
    "orientation": ws.page_setup.orientation,
    "fitToPage": bool(pr is not None and pr.fitToPage),
    "fitToWidth": 1 if ws.page_setup.fitToWidth is None else int(ws.page_setup.fitToWidth),
    "fitToHeight": 1 if ws.page_setup.fitToHeight is None else int(ws.page_setup.fitToHeight),
    "header": ws.oddHeader.center.text,
    "titleRows": ws.print_title_rows,
}))
)PY";

struct Sheet {
    QMap<QString, QPair<QString, bool>> cells;   // "A1" -> text as shown, bold
    QMap<QString, QStringList> types;             // "A1" -> "number", "time" or "text"; number format; value
    QJsonObject setup;
    QString error;
};

QString python()
{
    // Debian's interpreter, where python3-openpyxl is installed, before any other on the path.
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

Sheet readWorkbook(const QString& path)
{
    Sheet s;
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kReader), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        s.error = QStringLiteral("openpyxl could not read %1 (install python3-openpyxl: scripts/install-deps): %2")
                      .arg(path, QString::fromUtf8(p.readAllStandardError()));
        return s;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    const QJsonObject cells = o.value("cells").toObject();
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        const QJsonArray a = it.value().toArray();
        s.cells.insert(it.key(), {a.at(0).toString(), a.at(1).toBool()});
    }
    const QJsonObject types = o.value("types").toObject();
    for (auto it = types.begin(); it != types.end(); ++it) {
        QStringList t;
        for (const auto& v : it.value().toArray()) t << v.toString();
        s.types.insert(it.key(), t);
    }
    s.setup = o;
    return s;
}

// One member of the workbook's zip file.
QByteArray zipMember(const QString& path, const QString& member, bool* listed = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, member});
    p.waitForFinished(120000);
    if (listed) *listed = p.exitCode() == 0;
    return p.readAllStandardOutput();
}

QString column(int c) { return QString(QChar('A' + c)); }

// The stored test "Clay" (id 7): a comma in the sample description, three points (a step 0, a point past
// an hour, one in the sixth day), and "Bare" (id 8) without points.
bool storeTests()
{
    const char* header = "INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, SAMPLE_WEIGHT, "
                         "SAMPLE_LENGTH, SAMPLE_HARDNESS, SAMPLE_description, SAMPLE_COMPACT_PRESS, "
                         "SAMPLE_COMPACT_TIME, SAMPLE_COMPACT_DATE, FLUID_INFO) VALUES ";
    return sqlExec(QString::fromLatin1(header) +
                   "(7, 'Clay', '2020-01-02 10:03:04', 'Kim', 12.5, 0.5, 3, 'grey, wet clay', 300.456, 5, "
                   "'01/02/2020', 'brine'), "
                   "(8, 'Bare', '2020-03-04 05:06:07', 'Lee', 1, 1, 2, 'dry', 10, 1, '03/03/2020', 'oil')")
        && sqlExec("INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, RESULT_BATHTEMP, "
                   "RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) VALUES "
                   "(7, 0, 90, 212, 100.44, 1000.4, 0.1, 2.5), (7, 2, 3661, 150, 150, 300, 0.12345, 1.23456789), "
                   "(7, 2, 500005, 150, 150, 300, 0.12345, 1.23456789)");
}

// A test of n points, one a second.
bool storeLongTest(int id, const QString& name, int n)
{
    return sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, SAMPLE_LENGTH) VALUES "
                                  "(%1, '%2', '2022-01-01 00:00:00', 0.5)")
                       .arg(id)
                       .arg(name))
        && sqlExec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < %2) "
                                  "INSERT INTO TEST_RESULT (TEST_ID, STEP_NO, RESULT_TIME, RESULT_TEMP, "
                                  "RESULT_BATHTEMP, RESULT_PRESS, RESULT_HEIGHT_CHANGE, RESULT_VOLT) "
                                  "SELECT %1, 1, i, 150, 150, 300, i * 0.000001, 2.5 FROM k")
                       .arg(id)
                       .arg(n - 1));
}

const QStringList kLabels{"Test Name",          "Test Date",         "Researcher",    "Sample Weight",
                          "Sample Length",      "Hardness",          "Sample Description", "Compact. Pressure",
                          "Compact. Time",      "Compact. Date",     "Fluid Description"};
const QString kDegF = QString::fromUtf8("(°F)");
const QStringList kHeadings{"Step No", "Time (hh:mm:ss)", "Temp " + kDegF, "Press (Psi)", "Length Change (in.)",
                            " Swell (%) ", "read voltage", "Bath Temp " + kDegF};
// The stored header of Clay and Bare in the texts of the test-information window (English units).
const QStringList kClayTexts{"Clay", "1/2/2020 10:03:04 AM", "Kim", "12.5", "0.5", "3", "grey, wet clay",
                             "300.46", "5", "01/02/2020", "brine"};
const QStringList kBareTexts{"Bare", "3/4/2020 5:06:07 AM", "Lee", "1", "1.", "2", "dry", "10.", "1", "03/03/2020",
                             "oil"};
// Clay's points as the grid shows them; the eighth value is the hidden bath temperature.
const QList<QStringList> kClayRows{{"1", "00:01:30", "212", "1000", "0.1", "20.%", "2.5", "100.4"},
                                   {"2", "01:01:01", "150", "300", "0.1235", "24.7%", "1.23456789", "150."},
                                   {"2", "138:53:25", "150", "300", "0.1235", "24.7%", "1.23456789", "150."}};
const QMap<int, QString> kUnits{{4, "(g)"}, {5, "(in.)"}, {8, "(Psi)"}, {9, "(min)"}};

// The report a test gives, as the file must hold it.
QByteArray expectedReport(const QStringList& texts, const QList<QStringList>& rows)
{
    QByteArray out = "Torvan Test Report\r\n\r\n";
    for (int i = 1; i <= 11; ++i) {
        out += (kLabels[i - 1] + ", " + texts.value(i - 1)).toUtf8();
        if (kUnits.contains(i)) out += kUnits[i].toUtf8() + ",";
        out += "\r\n";
    }
    out += "\r\n\r\nResults:\r\n";
    for (const QStringList& row : QList<QStringList>{kHeadings} + rows) out += (row.join(',') + ",\r\n").toUtf8();
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Limits the size of any file this process writes while it lives (a disk that fills up part-way).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit l = saved_;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

// A grid of n rows whose cells all read their row's point number (1 to n), made only when asked for.
class NumberedGrid : public platform::grid::TextGridModel {
public:
    explicit NumberedGrid(int n) : TextGridModel(8), n_(n) {}
    int rowCount(const QModelIndex& = {}) const override { return n_; }
    QString text(int row, int) const override { return QString::number(row + 1); }

private:
    int n_;
};

// The last bytes of a member of a zip file, however long the member is.
QByteArray zipMemberEnd(const QString& path, const QString& member, int bytes)
{
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("unzip -p \"$0\" \"$1\" | tail -c \"$2\""), path,
                                   member, QString::number(bytes)});
    p.waitForFinished(600000);
    return p.readAllStandardOutput();
}

// A grid of the given rows of texts (the first column; the others empty).
class TextsGrid : public platform::grid::TextGridModel {
public:
    explicit TextsGrid(QList<QStringList> rows) : TextGridModel(8), rows_(std::move(rows)) {}
    int rowCount(const QModelIndex& = {}) const override { return int(rows_.size()); }
    QString text(int r, int c) const override { return rows_.value(r).value(c); }

private:
    QList<QStringList> rows_;
};

// A desktop of its own: XDG folders in a temporary folder (the MIME types themselves from the system),
// with the environment restored afterwards.
class Desktop {
public:
    Desktop()
    {
        for (const char* v : kVars) saved_.append({v, qgetenv(v), qEnvironmentVariableIsSet(v)});
        QDir(dir_.path()).mkpath(QStringLiteral("share/applications"));
        QDir(dir_.path()).mkpath(QStringLiteral("home/applications"));
        QDir(dir_.path()).mkpath(QStringLiteral("config"));
        QFile::link(QStringLiteral("/usr/share/mime"), dir_.filePath(QStringLiteral("share/mime")));
        qputenv("XDG_DATA_DIRS", dir_.filePath(QStringLiteral("share")).toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_CONFIG_DIRS", dir_.filePath(QStringLiteral("config")).toUtf8());
    }
    ~Desktop()
    {
        for (const auto& [name, value, set] : saved_)
            if (set) qputenv(name, value);
            else qunsetenv(name);
    }
    void write(const QString& file, const QByteArray& text)
    {
        QFile f(dir_.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

private:
    static constexpr const char* kVars[] = {"XDG_DATA_DIRS", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir dir_;
    QList<Saved> saved_;
};

const QByteArray kXlsxType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

} // namespace

class Export : public QObject, private MainWindowRig {
    Q_OBJECT

private:
    QStringList opened_;         // files handed to the desktop opener
    bool openerWorks_ = true;    // what the opener answers
    QString openName_;

    frmMain& start()
    {
        startMainWindow(SettingsFile::text({}, 1));
        QDir(dir_->path()).mkdir(QStringLiteral("books"));
        w_->setWorkbookFolder(dir_->file(QStringLiteral("books")));
        return *w_;
    }
    bool open(const QString& name)
    {
        openName_ = name;
        w_->cmdOpen_Click();
        return w_->CurrentTestName == name && prompts_->shown.empty();
    }
    // Exports and reads the workbook back; the path in *path.
    Sheet exportWorkbook(QString* path = nullptr, bool viaMenu = false)
    {
        opened_.clear();
        if (viaMenu) w_->MenuFileReport->trigger();
        else w_->cmdexportExcel->click();
        if (opened_.size() != 1) return {{}, {}, {}, QStringLiteral("opener called %1 times").arg(opened_.size())};
        if (path) *path = opened_[0];
        return readWorkbook(opened_[0]);
    }
    frmTestInfo* infoForm() const { return Module1::form<frmTestInfo>(Module1::TestInfoForm); }

private slots:
    void init()
    {
        freshFolder();
        QVERIFY(storeTests());
        opened_.clear();
        openerWorks_ = true;
        platform::setDocumentOpener([this](const QString& path) {
            opened_ << path;
            return openerWorks_;
        });
        platform::setModalHandler([this](QDialog& d) {
            if (auto* open = qobject_cast<frmOpenTest*>(&d)) {
                open->txtSeqName->setText(openName_);
                open->cmdOk_Click();
            }
            d.hide();
            return 0;
        });
    }

    void cleanup()
    {
        platform::setModalHandler({});
        platform::setDocumentOpener({});
        releaseAll();
    }

    // ---- workbook ----

    // Every cell with its boldness: the title, the eleven captions (bold) with their texts and the four unit
    // captions, "Results:" (bold), the grid from row 19 with its hidden eighth column; nothing else.
    void workbookCells_data()
    {
        QTest::addColumn<QString>("test");   // "" no test opened
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("points past a day") << "Clay" << kClayTexts << kClayRows;
        QTest::newRow("no points: heading row only") << "Bare" << kBareTexts << QList<QStringList>{};
        QTest::newRow("no test opened") << "" << QStringList{} << QList<QStringList>{};
    }
    void workbookCells()
    {
        QFETCH(QString, test);
        QFETCH(QStringList, texts);
        QFETCH(QList<QStringList>, rows);
        start();
        if (!test.isEmpty()) QVERIFY(open(test));
        QString path;
        const Sheet s = exportWorkbook(&path);
        QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
        QVERIFY2(prompts_->shown.empty(), qPrintable(prompts_->texts().join('|')));

        QMap<QString, QPair<QString, bool>> want;
        want["A1"] = {"Veduvovir Test Report", true};
        for (int i = 1; i <= 11; ++i) {
            const QString row = QString::number(3 + i);
            want["A" + row] = {kLabels[i - 1], true};
            if (!texts.value(i - 1).isEmpty()) want["C" + row] = {texts[i - 1], false};
            if (kUnits.contains(i)) want["D" + row] = {kUnits[i], false};
        }
        want["A17"] = {"Results:", true};
        for (int c = 0; c < 8; ++c) want[column(c) + "19"] = {kHeadings[c], false};
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < 8; ++c) want[column(c) + QString::number(20 + r)] = {rows[r][c], false};
        QCOMPARE(s.cells, want);
        // The grid's numbers are numbers and its elapsed times times; everything else is text.
        for (auto it = s.types.begin(); it != s.types.end(); ++it) {
            const int row = it.key().mid(1).toInt();
            const QString kind = row < 20 ? "text" : it.key().startsWith('B') ? "time" : "number";
            QVERIFY2(it.value().value(0) == kind, qPrintable(it.key() + ": " + it.value().join(' ')));
        }

        // Constant-memory mode writes the texts inline: no shared-string table in the file.
        bool listed = true;
        zipMember(path, QStringLiteral("xl/sharedStrings.xml"), &listed);
        QVERIFY(!listed);
        QVERIFY(zipMember(path, QStringLiteral("xl/worksheets/sheet1.xml")).contains("t=\"inlineStr\""));
    }

    // Each kind of grid text: as what it goes into the cell, its number format, and what it shows.
    void gridTextsAsValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kind");     // number, time, text
        QTest::addColumn<QString>("format");   // "" for text
        QTest::addColumn<double>("value");
        QTest::newRow("whole number") << "1000" << "number" << "0" << 1000.0;
        QTest::newRow("decimals") << "0.1235" << "number" << "0.0000" << 0.1235;
        QTest::newRow("point without decimals") << "150." << "number" << "0." << 150.0;
        QTest::newRow("negative") << "-0.02" << "number" << "0.00" << -0.02;
        QTest::newRow("percent") << "24.7%" << "number" << "0.0%" << 0.247;
        QTest::newRow("percent without decimals") << "20.%" << "number" << "0.%" << 0.2;
        QTest::newRow("elapsed") << "01:01:01" << "time" << "[hh]:mm:ss" << 3661.0 / 86400;
        QTest::newRow("elapsed past a day") << "138:53:25" << "time" << "[hh]:mm:ss" << 500005.0 / 86400;
        QTest::newRow("word") << "abc" << "text" << "" << 0.0;
        QTest::newRow("leading zero") << "007" << "text" << "" << 0.0;
        QTest::newRow("exponent") << "1E+05" << "text" << "" << 0.0;
        QTest::newRow("two points") << "1.2.3" << "text" << "" << 0.0;
        QTest::newRow("sixty minutes") << "12:60:00" << "text" << "" << 0.0;
    }
    void gridTextsAsValues()
    {
        QFETCH(QString, text);
        QFETCH(QString, kind);
        QFETCH(QString, format);
        QFETCH(double, value);
        const TextsGrid grid({{text}});
        review::ReportSheet sheet;
        sheet.grid = &grid;
        const QString path = dir_->file(QStringLiteral("kinds.xlsx"));
        QCOMPARE(review::WriteWorkbook(sheet, path), QString());
        const Sheet s = readWorkbook(path);
        QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
        QCOMPARE(s.cells.value("A20").first, text);   // shown with the grid's digits
        const QStringList type = s.types.value("A20");
        QCOMPARE(type.value(0), kind);
        if (kind != "text") QCOMPARE(type.value(1), format);
        if (kind == "number") QCOMPARE(type.value(2).toDouble(), value);
    }

    // Landscape, fit to 1 page wide and 10 tall, the centre header, the rows repeated on every page.
    void workbookPageSetUp_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain name") << "Clay";
        QTest::newRow("ampersand in the name") << "Salt & Sand";
    }
    void workbookPageSetUp()
    {
        QFETCH(QString, name);
        QVERIFY(sqlExec(QStringLiteral("UPDATE TEST_INFO SET TEST_NAME = '%1' WHERE TEST_ID = 7").arg(name)));
        start();
        QVERIFY(open(name));
        const Sheet s = exportWorkbook();
        QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
        QCOMPARE(s.setup.value("orientation").toString(), QStringLiteral("landscape"));
        QVERIFY(s.setup.value("fitToPage").toBool());
        QCOMPARE(s.setup.value("fitToWidth").toInt(), 1);
        QCOMPARE(s.setup.value("fitToHeight").toInt(), 10);
        QString header = s.setup.value("header").toString();
        header.replace(QStringLiteral("&&"), QStringLiteral("&"));   // the header's own escape of "&"
        QCOMPARE(header, "~ Test:" + name);
        QCOMPARE(s.setup.value("titleRows").toString().remove('$'), QStringLiteral("18:19"));
    }

    // The menu item does what the button does; the file goes to the desktop's program, or its place is
    // told when no program takes it; a workbook that cannot be written is said so and not opened.
    void workbookHandedOut()
    {
        frmMain& w = start();
        QVERIFY(open("Clay"));
        QString byButton, byMenu;
        const Sheet a = exportWorkbook(&byButton);
        const Sheet b = exportWorkbook(&byMenu, true);
        QVERIFY2(a.error.isEmpty() && b.error.isEmpty(), qPrintable(a.error + b.error));
        QCOMPARE(a.cells, b.cells);
        QVERIFY(byButton.endsWith(".xlsx"));
        QVERIFY(byButton.startsWith(dir_->file("books")));
        QCOMPARE(w.LastWorkbook(), byMenu);

        openerWorks_ = false;
        opened_.clear();
        w.cmdexportExcel->click();
        QCOMPARE(opened_.size(), 1);
        QVERIFY(QFile::exists(opened_[0]));
        QCOMPARE(prompts_->texts(),
                 QStringList{QStringLiteral("The workbook was saved as %1. No program to open .xlsx files was found.")
                                 .arg(QDir::toNativeSeparators(opened_[0]))});

        prompts_->clear();
        opened_.clear();
        w.setWorkbookFolder(dir_->file(QStringLiteral("no such folder")));
        w.cmdexportExcel->click();
        QVERIFY(opened_.isEmpty());
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QVERIFY2(prompts_->shown[0].text.startsWith(QStringLiteral("The workbook could not be written: ")),
                 qPrintable(prompts_->shown[0].text));
    }

    // A disk that fills up while the workbook is written, either while the rows wait in the temporary
    // folder (the library itself would go on and write a workbook without them) or while the file itself
    // is written: the failure is told, nothing is opened, no part-written file is left.
    void workbookFailsPartWay_data()
    {
        QTest::addColumn<QString>("test");
        QTest::addColumn<int>("limit");   // bytes any file may reach
        QTest::newRow("rows waiting in the temporary folder") << "Long" << 64 * 1024;
        QTest::newRow("the workbook file") << "Clay" << 4 * 1024;
    }
    void workbookFailsPartWay()
    {
        QFETCH(QString, test);
        QFETCH(int, limit);
        QVERIFY(storeLongTest(9, QStringLiteral("Long"), 20000));
        start();
        QVERIFY(open(test));
        {
            const FileSizeLimit full{rlim_t(limit)};
            w_->cmdexportExcel->click();
        }
        QVERIFY(opened_.isEmpty());
        QVERIFY(QDir(dir_->file("books")).isEmpty());
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QVERIFY2(prompts_->shown[0].text.startsWith(QStringLiteral("The workbook could not be written: ")),
                 qPrintable(prompts_->shown[0].text));
        // The cause is named, not only the library's "Zip generic error".
        QVERIFY2(prompts_->shown[0].text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(prompts_->shown[0].text));
    }

    // The opened test is the id it was opened with. Deleted while it is shown, and perhaps its name taken by
    // a new test (one a cell now runs): the test-information window shows no header of the new test and its
    // save writes nothing, and neither the workbook nor the report is written, since the header above the
    // shown points is gone.
    void goneTestIsGone_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("replaced");
        for (const char* what : {"test information", "workbook", "report"}) {
            QTest::addRow("%s, deleted", what) << QString::fromLatin1(what) << false;
            QTest::addRow("%s, deleted, a new test of that name", what) << QString::fromLatin1(what) << true;
        }
    }
    void goneTestIsGone()
    {
        QFETCH(QString, what);
        QFETCH(bool, replaced);
        const QString noTest = QStringLiteral("Currently no valid test selected.  Please first open a saved test.");
        start();
        QVERIFY(open("Clay"));
        w_->cmdRelated->click();
        QCOMPARE(infoForm()->TestId(), 7);
        QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_RESULT WHERE TEST_ID = 7")));
        QVERIFY(sqlExec(QStringLiteral("DELETE FROM TEST_INFO WHERE TEST_ID = 7")));
        if (replaced)
            QVERIFY(sqlExec(QStringLiteral("INSERT INTO TEST_INFO (TEST_ID, TEST_NAME, TEST_DATE, RESEARCHER_NAME, "
                                           "SAMPLE_LENGTH, SAMPLE_description) VALUES (9, 'Clay', "
                                           "'2024-05-06 07:08:09', 'Newer', 0.25, 'running now')")));

        if (what == QLatin1String("test information")) {
            // "Test Info" again: no header of the new test, and a save changes no row.
            w_->cmdRelated->click();
            frmTestInfo* info = infoForm();
            QCOMPARE(info->txtTestInfo[1]->text(), QString());
            QVERIFY(info->txtTestInfo[3]->text() != QStringLiteral("Newer"));
            QVERIFY(info->TestId() != 9);
            info->txtTestInfo[7]->setText(QStringLiteral("typed for the old test"));
            info->cmdSave->click();
            QCOMPARE(prompts_->texts(), QStringList{QStringLiteral("ERROR: ") + TestHeaderUpdate::NotSavedMessage});
            QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_INFO WHERE SAMPLE_description = "
                                             "'typed for the old test'")),
                     QStringLiteral("0"));
        } else if (what == QLatin1String("workbook")) {
            w_->cmdexportExcel->click();
            QCOMPARE(prompts_->texts(), QStringList{noTest});
            QVERIFY(opened_.isEmpty());
            QVERIFY(QDir(dir_->file("books")).isEmpty());
        } else {
            const QString path = dir_->file(QStringLiteral("gone.csv"));
            prompts_->queueFile(path);
            w_->cmdREPORT->click();
            QCOMPARE(prompts_->texts(), QStringList{noTest});   // no save dialog either
            QVERIFY(!QFile::exists(path));
        }
        if (replaced)
            QCOMPARE(sqlValue(QStringLiteral("SELECT SAMPLE_description FROM TEST_INFO WHERE TEST_ID = 9")),
                     QStringLiteral("running now"));
    }

    // Exports in one second each get a file of their own: a later one neither overwrites an earlier one
    // nor, when it fails, deletes it.
    void workbooksOfOneSecondKept()
    {
        start();
        QVERIFY(open("Clay"));
        QString first, second;
        QVERIFY(exportWorkbook(&first).error.isEmpty());
        const QByteArray firstBytes = readAll(first);
        {
            const FileSizeLimit full{4 * 1024};
            w_->cmdexportExcel->click();
        }
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        QCOMPARE(readAll(first), firstBytes);
        QVERIFY(exportWorkbook(&second).error.isEmpty());
        QVERIFY(second != first);
        QCOMPARE(readAll(first), firstBytes);
        QCOMPARE(QDir(dir_->file("books")).entryList(QDir::Files).size(), 2);
    }

    // A cell the sheet cannot hold is an error of the workbook, not a success.
    void cellErrorFailsClose()
    {
        const QString path = dir_->file(QStringLiteral("cell.xlsx"));
        platform::Workbook book(path);
        book.write(1, 1, QStringLiteral("fits"));
        book.write(platform::Workbook::MaxRow + 1, 1, QStringLiteral("does not fit"));
        QVERIFY(!book.close());
        QVERIFY(!book.error().isEmpty());
    }

    // A grid longer than a worksheet: the workbook ends at the sheet's last row, which holds the last point
    // that fits, and the message says how many points it holds and that the report holds them all.
    void gridLongerThanSheet()
    {
        const int points = review::WorkbookGridRowsMax + 5;   // heading row + points > rows from row 19
        const int fits = review::WorkbookGridRowsMax - 1;     // points below the heading row
        const NumberedGrid grid(points), fitting(fits);
        review::ReportSheet sheet;
        sheet.grid = &grid;
        const QString path = dir_->file(QStringLiteral("long.xlsx"));
        QCOMPARE(review::WriteWorkbook(sheet, path), QString());

        // The sheet's rows end at its last row, and that row holds point number `fits` in all 8 columns.
        const QByteArray end = zipMemberEnd(path, QStringLiteral("xl/worksheets/sheet1.xml"), 4096);
        const qsizetype lastRow = end.lastIndexOf("<row ");
        QVERIFY2(lastRow >= 0 && end.indexOf("</sheetData>", lastRow) > lastRow, end.right(300).constData());
        const QByteArray row = end.mid(lastRow, end.indexOf("</row>", lastRow) - lastRow);
        const QByteArray last = QByteArray::number(platform::Workbook::MaxRow);
        QVERIFY2(row.startsWith("<row r=\"" + last + "\""), row.constData());
        for (int c = 0; c < 8; ++c) {
            const QByteArray ref = "r=\"" + column(c).toLatin1() + last + "\"";
            const qsizetype at = row.indexOf(ref);
            QVERIFY2(at >= 0, (ref + " in " + row).constData());
            const qsizetype v = row.indexOf("<v>", at);
            QCOMPARE(row.mid(v + 3, row.indexOf("</v>", v) - v - 3), QByteArray::number(fits));
        }

        QCOMPARE(review::WorkbookShortNotice(sheet),
                 QStringLiteral("This test has %1 points; a worksheet holds only the first %2 of them, so the workbook "
                                "ends there. The report (Save Report) holds all %1 points.")
                     .arg(points)
                     .arg(fits));
        sheet.grid = &fitting;
        QCOMPARE(review::WorkbookShortNotice(sheet), QString());
    }

    // Whether the desktop has a program for .xlsx comes from its MIME database (mimeapps lists, the
    // programs' MIME types, the cache), never from the file's content.
    void desktopProgramFor_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("found");
        QTest::newRow("no program at all") << QString() << QByteArray() << false;
        QTest::newRow("a program for text only")
            << "share/applications/edit.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nExec=edit %f\nMimeType=text/plain;\n") << false;
        QTest::newRow("a program for workbooks")
            << "share/applications/calc.desktop"
            << "[Desktop Entry]\nType=Application\nExec=calc %f\nMimeType=text/csv;" + kXlsxType + ";\n" << true;
        QTest::newRow("the MIME cache") << "share/applications/mimeinfo.cache"
                                        << "[MIME Cache]\n" + kXlsxType + "=calc.desktop;\n" << true;
        QTest::newRow("the user's default") << "config/mimeapps.list"
                                            << "[Default Applications]\n" + kXlsxType + "=calc.desktop\n" << true;
        QTest::newRow("a default of another type")
            << "config/mimeapps.list" << QByteArray("[Default Applications]\ntext/plain=edit.desktop\n") << false;
    }
    void desktopProgramFor()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(bool, found);
        Desktop desktop;
        if (!file.isEmpty()) desktop.write(file, text);
        QCOMPARE(platform::desktopHasProgramFor(dir_->file(QStringLiteral("never written.xlsx"))), found);
    }

    // No program for .xlsx on the desktop: the export tells where the workbook was saved.
    void noProgramForWorkbookTold()
    {
        Desktop desktop;
        start();
        QVERIFY(open("Clay"));
        platform::setDocumentOpener({});
        w_->cmdexportExcel->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));
        const QString path = w_->LastWorkbook();
        QVERIFY(QFile::exists(path));
        QCOMPARE(prompts_->texts(),
                 QStringList{QStringLiteral("The workbook was saved as %1. No program to open .xlsx files was found.")
                                 .arg(QDir::toNativeSeparators(path))});
    }

    // ---- report ----

    // The whole file, byte for byte: CR LF line ends, no quoting (the comma of a text stays), trailing
    // commas on the four lines with a unit and on every grid line, the hidden eighth column.
    void reportBytes_data()
    {
        QTest::addColumn<QString>("test");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("points past a day") << "Clay" << expectedReport(kClayTexts, kClayRows);
        QTest::newRow("no points: heading line only") << "Bare" << expectedReport(kBareTexts, {});
    }
    void reportBytes()
    {
        QFETCH(QString, test);
        QFETCH(QByteArray, bytes);
        start();
        QVERIFY(open(test));
        const QString path = dir_->file(QStringLiteral("report.csv"));
        // An older, longer file of that name is replaced.
        dir_->write(QStringLiteral("report.csv"), QByteArray(20000, 'x'));
        prompts_->queueFile(path);
        w_->cmdREPORT->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(1));   // the save dialog, nothing after it
        const auto& dialog = prompts_->shown[0];
        QCOMPARE(dialog.kind, ScriptedPrompts::Kind::SaveFile);
        QCOMPARE(dialog.filter, QStringLiteral("All Files (*.*);;Text Files(*.csv)"));
        QCOMPARE(dialog.selectedFilter, 1);   // "Text Files(*.csv)", counted from 0
        QCOMPARE(readAll(path), bytes);
    }

    // No test opened: the refusal and no dialog. Cancelling the dialog: its text, and no file.
    void reportRefusedOrCancelled()
    {
        frmMain& w = start();
        w.cmdREPORT->click();
        QCOMPARE(prompts_->texts(),
                 QStringList{QStringLiteral("Currently no valid test selected.  Please first open a saved test.")});
        QCOMPARE(prompts_->shown[0].kind, ScriptedPrompts::Kind::Message);

        prompts_->clear();
        QVERIFY(open("Clay"));
        const QStringList before = QDir(dir_->path()).entryList(QDir::Files);
        w.cmdREPORT->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(2));
        QCOMPARE(prompts_->shown[0].kind, ScriptedPrompts::Kind::SaveFile);
        QCOMPARE(prompts_->shown[1].text, QStringLiteral("Cancel was selected."));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), before);
    }

    // A report that cannot be written, or fails part-way: the failure's text, never silence; a file of that
    // name keeps its old content.
    void reportFails_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("folder missing") << "missing/report.csv";
        QTest::newRow("disk full part-way") << "report.csv";
    }
    void reportFails()
    {
        QFETCH(QString, where);
        QVERIFY(storeLongTest(9, QStringLiteral("Long"), 5000));
        start();
        QVERIFY(open("Long"));
        const QString path = dir_->file(where);
        if (!where.startsWith("missing")) dir_->write(where, "old report\r\n");
        prompts_->queueFile(path);
        {
            const FileSizeLimit limit(16 * 1024);
            w_->cmdREPORT->click();
        }
        QCOMPARE(prompts_->shown.size(), std::size_t(2));
        // The cause is named: the system's text of the failed write (on a full disk "No space left on device").
        QCOMPARE(prompts_->shown[1].text, where.startsWith("missing") ? QStringLiteral("No such file or directory")
                                                                      : QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(prompts_->shown[1].kind, ScriptedPrompts::Kind::Message);
        QCOMPARE(readAll(path), where.startsWith("missing") ? QByteArray("<missing>") : QByteArray("old report\r\n"));
    }

    // A report named as the database or its journals (any letter case) is refused before anything is
    // written: renaming a report over them would pull the file from under the open connection.
    void reportOverDatabaseRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("database") << "Torvan.accdb";
        QTest::newRow("database, other case") << "TORVAN.ACCDB";
        QTest::newRow("journal") << "Torvan.accdb-wal";
    }
    void reportOverDatabaseRefused()
    {
        QFETCH(QString, name);
        QVERIFY(storeLongTest(9, QStringLiteral("Long"), 50));
        start();
        QVERIFY(open("Long"));
        const QString before = sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT"));
        prompts_->queueFile(dir_->file(name));
        w_->cmdREPORT->click();
        QCOMPARE(prompts_->shown.size(), std::size_t(2));
        QCOMPARE(prompts_->shown[1].text, QStringLiteral("The test database cannot be used as a report file"));
        if (name == QLatin1String("TORVAN.ACCDB")) QVERIFY(!QFileInfo::exists(dir_->file(name)));
        QCOMPARE(sqlValue(QStringLiteral("SELECT count(*) FROM TEST_RESULT")), before);
        QCOMPARE(sqlValue(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    // ---- both ----

    // Unsaved edits in the test-information window are not handed out: both take the stored header, and
    // the window keeps the operator's edits.
    void storedHeaderNotEdits()
    {
        start();
        QVERIFY(open("Clay"));
        w_->cmdRelated->click();
        frmTestInfo* info = infoForm();
        QVERIFY(info);
        info->txtTestInfo[3]->setText(QStringLiteral("Somebody else"));
        info->txtTestInfo[7]->setText(QStringLiteral("not saved"));

        const Sheet s = exportWorkbook();
        QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
        QCOMPARE(s.cells.value("C6").first, QStringLiteral("Kim"));
        QCOMPARE(s.cells.value("C10").first, QStringLiteral("grey, wet clay"));

        const QString path = dir_->file(QStringLiteral("r.csv"));
        prompts_->queueFile(path);
        w_->cmdREPORT->click();
        QCOMPARE(readAll(path), expectedReport(kClayTexts, kClayRows));

        QCOMPARE(info->txtTestInfo[3]->text(), QStringLiteral("Somebody else"));
        QCOMPARE(info->txtTestInfo[7]->text(), QStringLiteral("not saved"));
        // Once saved, the edits are what is handed out.
        info->cmdSave_Click();
        QCOMPARE(exportWorkbook().cells.value("C6").first, QStringLiteral("Somebody else"));
    }

    // A long test: the timers of the program go on ticking while it is written, and the last point is
    // in both files.
    void longTestKeepsTimers()
    {
        const int n = 20000;
        QVERIFY(storeLongTest(9, QStringLiteral("Long"), n));
        start();
        QVERIFY(open("Long"));
        int ticks = 0;
        QTimer timer;
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();

        QString path;
        opened_.clear();
        w_->cmdexportExcel->click();
        QCOMPARE(opened_.size(), 1);
        QVERIFY2(ticks > 0, "no timer tick while the workbook was written");
        const QByteArray xml = zipMember(opened_[0], QStringLiteral("xl/worksheets/sheet1.xml"));
        QCOMPARE(xml.count("<row "), qsizetype(1 + 11 + 1 + 1 + n));
        QVERIFY(xml.contains(QStringLiteral("<row r=\"%1\"").arg(19 + n).toLatin1()));
        QVERIFY(xml.contains("<c r=\"B20019\" s=\""));   // the last elapsed time, a time value

        ticks = 0;
        const QString csv = dir_->file(QStringLiteral("long.csv"));
        prompts_->queueFile(csv);
        w_->cmdREPORT->click();
        QVERIFY2(ticks > 0, "no timer tick while the report was written");
        const QByteArray bytes = readAll(csv);
        QCOMPARE(bytes.count("\r\n"), qsizetype(16 + 1 + n));
        QVERIFY2(bytes.endsWith("1,05:33:19,150,300,0.02,4.%,2.5,150.,\r\n"), bytes.right(60).constData());
    }
};

QTEST_MAIN(Export)
#include "tst_export.moc"
