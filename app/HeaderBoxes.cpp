#include "HeaderBoxes.h"

#include "ShiftJis.h"
#include "TextFilter.h"

#include <QApplication>
#include <QLineEdit>

HeaderBoxes::HeaderBoxes(ReportDocument &document, const Boxes &boxes, QObject *parent)
    : QObject(parent), document(document), boxes(boxes)
{
    for (int i = 0; i < ReportDocument::HeaderCount; ++i) {
        QLineEdit *edit = boxes[std::size_t(i)];
        const auto box = ReportDocument::HeaderBox(i);
        hints[std::size_t(i)] = edit->toolTip();
        connect(edit, &QLineEdit::textEdited, this, [this, box](const QString &text) {
            typing = true;
            if (this->document.SetHeaderText(box, text, session) != EditResult::Done)
                emit editFailed();
            typing = false;
        });
        // The header values travel only in the file name.
        if (auto *filter = edit->findChild<TextFilter *>())
            filter->RefuseFileNameCharacters();
    }
    connect(&document.Content(), &ReportContent::headerChanged, this, &HeaderBoxes::Show);
    connect(&document.Content(), &ReportContent::headerShown, this,
            [this](ReportDocument::HeaderBox box) { this->boxes[box]->setFocus(Qt::OtherFocusReason); });
    connect(qApp, &QApplication::focusChanged, this, [this] { ++session; });
}

void HeaderBoxes::Show(ReportDocument::HeaderBox box)
{
    const QString text = document.HeaderText(box);
    if (!typing && boxes[box]->text() != text)
        boxes[box]->setText(text);
    ShowVerdict(box);
}

void HeaderBoxes::ShowVerdict(ReportDocument::HeaderBox box)
{
    // The free string has no rule of its own.
    if (box == ReportDocument::NiniMoziretsu)
        return;
    QLineEdit *edit = boxes[box];
    const QString message = ShiftJis::ToText(document.HeaderVerdict(box));
    if (message.isEmpty()) {
        edit->setStyleSheet(QString());
        // A box whose style sheet is taken away gets the application's font
        // from Qt, not the window's, and is drawn larger from then on.
        edit->setFont(edit->parentWidget()->font());
    } else {
        edit->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid rgb(255, 0, 0); }"));
    }
    edit->setToolTip(message.isEmpty() ? hints[box] : message);
    edit->setStatusTip(message.isEmpty() ? hints[box] : message);
}
