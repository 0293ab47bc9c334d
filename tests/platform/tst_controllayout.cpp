// Proportional placing of a window's controls: fractions of the reference size, framed controls, combo
// boxes only moved, nothing at a collapsed size, no drift, composite widgets and layouts left alone.
#include "platform/ControlLayout.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QFrame>
#include <QtTest>
#include <map>

using platform::ControlLayout;

namespace {

// A window on its 985 x 707 design: a button, a frame holding a label, a combo box and a box, a table, a
// combo box of its own and a container whose children a layout places.
struct Window {
    QWidget w;
    QPushButton* button;
    QGroupBox* frame;
    QLabel* framedLabel;
    QComboBox* framedCombo;
    QTableWidget* table;
    QComboBox* combo;
    QWidget* laidOut;
    QPushButton* inLayout;

    Window()
    {
        w.resize(985, 707);
        button = new QPushButton("START", &w);
        button->setGeometry(10, 20, 100, 30);
        frame = new QGroupBox("CELL A", &w);
        frame->setGeometry(500, 100, 400, 300);
        framedLabel = new QLabel("70.0", frame);
        framedLabel->setGeometry(40, 50, 200, 25);
        framedCombo = new QComboBox(frame);
        framedCombo->setGeometry(40, 100, 150, 24);
        table = new QTableWidget(5, 3, &w);
        table->setGeometry(10, 420, 965, 270);
        combo = new QComboBox(&w);
        combo->setGeometry(130, 20, 180, 26);
        laidOut = new QWidget(&w);
        laidOut->setGeometry(10, 100, 300, 60);
        auto* box = new QHBoxLayout(laidOut);
        inLayout = new QPushButton("in a layout");
        box->addWidget(inLayout);
    }

    std::map<QWidget*, QRect> geometries() const
    {
        std::map<QWidget*, QRect> g;
        for (QWidget* c : {static_cast<QWidget*>(button), static_cast<QWidget*>(frame),
                           static_cast<QWidget*>(framedLabel), static_cast<QWidget*>(framedCombo),
                           static_cast<QWidget*>(table), static_cast<QWidget*>(combo), laidOut})
            g[c] = c->geometry();
        return g;
    }
};

const QSizeF Design(985, 707);

// The window with its controls recorded against its design size.
struct RecordedWindow : Window {
    ControlLayout layout{&w};
    RecordedWindow() { layout.save(Design); }
};

} // namespace

class TestControlLayout : public QObject {
    Q_OBJECT
private slots:
    void recordsHandPlacedControlsOnly();
    void placesAtFractions_data();
    void placesAtFractions();
    void collapsedSizeLeavesControls_data();
    void collapsedSizeLeavesControls();
    void noDriftOverManyResizes();
    void touchingControlsNeverOverlap();
    void designReferenceDiffersFromCurrentSize();
    void placesOnEveryResizeWhenAsked();
    void mainWindowUsesItsCentralWidget();
};

void TestControlLayout::recordsHandPlacedControlsOnly()
{
    RecordedWindow win;
    const auto controls = win.layout.controls();
    const QSet<QWidget*> got(controls.begin(), controls.end());
    const QSet<QWidget*> want{win.button, win.frame, win.framedLabel, win.framedCombo, win.table, win.combo, win.laidOut};
    QCOMPARE(got, want);
    // A container comes before what it holds.
    const auto frameAt = std::find(controls.begin(), controls.end(), win.frame);
    QVERIFY(frameAt < std::find(controls.begin(), controls.end(), win.framedLabel));
}

void TestControlLayout::placesAtFractions_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("double") << QSize(1970, 1414);
    QTest::newRow("half") << QSize(492, 353);
    QTest::newRow("wide and low") << QSize(1920, 500);
    QTest::newRow("2 x 2") << QSize(2, 2);
}

void TestControlLayout::placesAtFractions()
{
    QFETCH(QSize, size);
    RecordedWindow win;
    const auto design = win.geometries();
    win.w.resize(size);
    win.layout.apply();

    // Every control keeps its fractions: the window's own against the window, framed ones against the
    // frame as placed.
    auto near = [](int got, double want) { return std::abs(got - want) <= 0.5 + 1e-9; };
    const QSize frameDesign = design.at(win.frame).size(), frameNow = win.frame->size();
    for (const auto& [c, g] : design) {
        const QRect now = c->geometry();
        double fx, fy;
        if (c->parentWidget() == win.frame) {
            fx = double(frameNow.width()) / frameDesign.width();
            fy = double(frameNow.height()) / frameDesign.height();
        } else {
            fx = double(size.width()) / 985;
            fy = double(size.height()) / 707;
        }
        QVERIFY2(near(now.x(), g.x() * fx) && near(now.y(), g.y() * fy), qPrintable(c->metaObject()->className()));
        if (qobject_cast<QComboBox*>(c)) {
            QCOMPARE(now.size(), g.size());   // a combo box is only moved
        } else {
            // The far edges keep their fractions too (so controls that touch never overlap by a rounding
            // pixel); the size is then within a pixel of the scaled size.
            QVERIFY2(near(now.x() + now.width(), (g.x() + g.width()) * fx) &&
                         near(now.y() + now.height(), (g.y() + g.height()) * fy),
                     qPrintable(c->metaObject()->className()));
            QVERIFY2(std::abs(now.width() - g.width() * fx) <= 1 && std::abs(now.height() - g.height() * fy) <= 1,
                     qPrintable(c->metaObject()->className()));
        }
    }
}

// A caption right above its reading, and a box right beside another, stay touching and never overlap at
// any size (rounding each size on its own could push one over the other by a pixel).
void TestControlLayout::touchingControlsNeverOverlap()
{
    QWidget w;
    w.resize(985, 628);
    QWidget* frame = new QFrame(&w);
    frame->setGeometry(4, 30, 485, 337);
    QLabel* above = new QLabel(frame);
    above->setGeometry(12, 78 + 44, 168, 15);
    QLabel* below = new QLabel(frame);
    below->setGeometry(12, 78 + 44 + 15, 168, 27);
    QLabel* left = new QLabel(&w);
    left->setGeometry(140, 319, 66, 28);
    QLabel* right = new QLabel(&w);
    right->setGeometry(206, 319, 48, 28);
    platform::ControlLayout layout(&w);
    layout.save(QSizeF(985, 628));
    for (int width = 600; width <= 2600; width += 37) {
        for (int height = 400; height <= 1600; height += 29) {
            w.resize(width, height);
            layout.apply();
            const QString at = QStringLiteral("%1 x %2").arg(width).arg(height);
            QVERIFY2(above->geometry().bottom() + 1 == below->geometry().top(), qPrintable(at));
            QVERIFY2(left->geometry().right() + 1 == right->geometry().left(), qPrintable(at));
        }
    }
}

void TestControlLayout::collapsedSizeLeavesControls_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1 x 1") << QSize(1, 1);
    QTest::newRow("0 x 0") << QSize(0, 0);
    QTest::newRow("width 1") << QSize(1, 700);
    QTest::newRow("height 1") << QSize(900, 1);
}

void TestControlLayout::collapsedSizeLeavesControls()
{
    QFETCH(QSize, size);
    RecordedWindow win;
    win.w.resize(1400, 900);
    win.layout.apply();
    const auto before = win.geometries();
    win.w.resize(size);
    win.layout.apply();
    QVERIFY(win.geometries() == before);
}

void TestControlLayout::noDriftOverManyResizes()
{
    RecordedWindow win;
    const auto design = win.geometries();
    for (QSize s : {QSize(300, 200), QSize(1, 1), QSize(1777, 1001), QSize(50, 40), QSize(3, 900), QSize(1280, 720),
                    QSize(985, 707)}) {
        win.w.resize(s);
        win.layout.apply();
    }
    QVERIFY(win.geometries() == design);
}

void TestControlLayout::designReferenceDiffersFromCurrentSize()
{
    // The window records against its design size while it stands at another size.
    Window win;
    const auto design = win.geometries();
    win.w.resize(640, 480);
    ControlLayout layout(&win.w);
    layout.save(Design);
    layout.apply();
    QCOMPARE(win.button->geometry(), QRect(qRound(10 * 640 / 985.0), qRound(20 * 480 / 707.0),
                                           qRound(100 * 640 / 985.0), qRound(30 * 480 / 707.0)));
    win.w.resize(985, 707);
    layout.apply();
    QVERIFY(win.geometries() == design);
}

void TestControlLayout::placesOnEveryResizeWhenAsked()
{
    Window win;
    ControlLayout layout(&win.w, true);
    layout.save(Design);
    win.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win.w));
    win.w.resize(1970, 1414);
    QTRY_COMPARE(win.button->geometry(), QRect(20, 40, 200, 60));
    QCOMPARE(win.framedLabel->geometry(), QRect(80, 100, 400, 50));

    layout.setPlaceOnResize(false);
    win.w.resize(985, 707);
    QTRY_COMPARE(win.w.size(), QSize(985, 707));
    QCoreApplication::processEvents();
    QCOMPARE(win.button->geometry(), QRect(20, 40, 200, 60));
}

void TestControlLayout::mainWindowUsesItsCentralWidget()
{
    QMainWindow mw;
    auto* central = new QWidget;
    mw.setCentralWidget(central);
    auto* button = new QPushButton("EXIT", central);
    button->setGeometry(100, 50, 80, 20);
    ControlLayout layout(&mw);
    QCOMPARE(layout.innerArea(), central);
    layout.save(QSizeF(400, 200));
    QCOMPARE(layout.controls(), std::vector<QWidget*>{button});
    central->resize(800, 100);
    layout.apply();
    QCOMPARE(button->geometry(), QRect(200, 25, 160, 10));
}

QTEST_MAIN(TestControlLayout)
#include "tst_controllayout.moc"
