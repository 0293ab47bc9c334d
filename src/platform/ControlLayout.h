#pragma once
// Proportional placing of a window's controls: their geometry is recorded once as fractions of a
// reference size, and every resize puts each control at the same fractions of the new size.
//
// What is recorded: every widget placed by hand (not by a QLayout, not a window of its own) whose parent is
// the window or a plain container inside it (a QGroupBox, or a widget of exact class QWidget or QFrame).
// The window's direct controls are recorded as fractions of the reference size; a control inside a
// container as fractions of that container's size at recording time, and it is placed relative to the
// container's placed size. Containers are placed before their contents, so a framed control keeps the same
// fractions of the window as when everything is measured against the window, without rounding drift.
// The inner parts of composite widgets (a combo box's editor, a table's scroll bars) are theirs to place.
// For a QMainWindow the controls are those of its central widget, whose size is the inner size.
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QWidget>
#include <vector>

namespace platform {

class ControlLayout : public QObject {
    Q_OBJECT
public:
    // The layout of `window`; with placeOnResize every resize of the window places its controls.
    explicit ControlLayout(QWidget* window, bool placeOnResize = false);

    // Records the controls' fractions: top-level controls against `reference` (in pixels), framed ones
    // against their container's current size. A reference of zero width or height records nothing.
    void save(QSizeF reference);
    // Records against the window's current inner size.
    void save();

    // Places every recorded control at its fractions of the current inner size (one geometry change per
    // control). Nothing happens when the inner width or height is 1 or less. A combo box is only moved:
    // it keeps its width and height.
    void apply();

    void setPlaceOnResize(bool on);
    bool placeOnResize() const { return placeOnResize_; }

    // The inner area: the window itself, or a main window's central widget.
    QWidget* innerArea() const;
    // The recorded controls, containers before their contents.
    std::vector<QWidget*> controls() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QPointer<QWidget> widget;
        float left, top, width, height;
        bool moveOnly;
    };
    void collect(QWidget* container, QSizeF containerSize);

    QPointer<QWidget> window_;
    QPointer<QWidget> filtered_;
    bool placeOnResize_ = false;
    std::vector<Entry> entries_;
};

} // namespace platform
