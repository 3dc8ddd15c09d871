#include "ui/prefs/programmatic_table_cell_view.h"

#include <QApplication>

namespace vandrel {

QFont smallSystemFont()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() - 2);
    else if (font.pixelSize() > 0)
        font.setPixelSize(font.pixelSize() - 2);
    font.setWeight(QFont::Normal);
    return font;
}

ProgrammaticTableCellView::ProgrammaticTableCellView(const QRect& frame, QWidget* parent)
    : QWidget(parent), textField_(new QLabel(this))
{
    if (frame.isValid()) setGeometry(frame);
    // The cell takes its column's width.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    textField_->setGeometry(textFieldFrame);
    textField_->setFont(smallSystemFont());
    textField_->setTextInteractionFlags(Qt::NoTextInteraction);
    textField_->setAutoFillBackground(false);
}

}  // namespace vandrel
