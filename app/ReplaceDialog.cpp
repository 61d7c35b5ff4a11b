#include "ReplaceDialog.h"

#include "TextFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The longest field takes 60 bytes; a find text needs no more.
constexpr int TextLimit = 60;

} // namespace

ReplaceDialog::ReplaceDialog(const QStringList &fields, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("置換"));
    findEdit = new QLineEdit(this);
    findEdit->setObjectName(QStringLiteral("FindText"));
    replacementEdit = new QLineEdit(this);
    replacementEdit->setObjectName(QStringLiteral("ReplacementText"));
    // As in a cell: a character Shift-JIS cannot hold is refused, and the
    // dialog says why, rather than vanish from what is replaced.
    for (QLineEdit *edit : {findEdit, replacementEdit}) {
        auto *filter = new TextFilter(edit, TextLimit);
        edit->setValidator(filter);
        connect(filter, &TextFilter::refused, this, &ReplaceDialog::ShowMessage);
    }
    matchCaseBox = new QCheckBox(tr("大文字と小文字を区別する(&C)"), this);
    matchCaseBox->setObjectName(QStringLiteral("MatchCase"));
    foldWidthBox = new QCheckBox(tr("全角と半角を区別しない(&W)"), this);
    foldWidthBox->setObjectName(QStringLiteral("FoldWidth"));
    foldWidthBox->setToolTip(tr("英字、数字、カタカナの全角と半角を同じ文字とみなします"));
    inBlockBox = new QCheckBox(tr("選択範囲のみ(&S)"), this);
    inBlockBox->setObjectName(QStringLiteral("InBlock"));
    inFieldBox = new QCheckBox(tr("次の列のみ(&O):"), this);
    inFieldBox->setObjectName(QStringLiteral("InField"));
    fieldBox = new QComboBox(this);
    fieldBox->setObjectName(QStringLiteral("Field"));
    fieldBox->addItems(fields);
    fieldBox->setEnabled(false);
    connect(inFieldBox, &QCheckBox::toggled, fieldBox, &QWidget::setEnabled);
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("Message"));
    message->setWordWrap(true);
    // Room for a message from the start: one shown later must not squeeze
    // the boxes above it.
    message->setMinimumHeight(3 * message->fontMetrics().lineSpacing());
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *texts = new QFormLayout;
    auto *findLabel = new QLabel(tr("検索する文字列(&N):"), this);
    findLabel->setBuddy(findEdit);
    auto *replacementLabel = new QLabel(tr("置換後の文字列(&P):"), this);
    replacementLabel->setBuddy(replacementEdit);
    texts->addRow(findLabel, findEdit);
    texts->addRow(replacementLabel, replacementEdit);
    texts->addRow(inFieldBox, fieldBox);

    auto *buttons = new QDialogButtonBox(Qt::Horizontal, this);
    QPushButton *next = buttons->addButton(tr("次を置換(&R)"), QDialogButtonBox::ActionRole);
    next->setObjectName(QStringLiteral("ReplaceNext"));
    QPushButton *all = buttons->addButton(tr("すべて置換(&A)"), QDialogButtonBox::ActionRole);
    all->setObjectName(QStringLiteral("ReplaceAll"));
    QPushButton *close = buttons->addButton(tr("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Close"));
    // Enter goes to the next occurrence, which first only shows it; it must
    // never replace everything.
    for (QPushButton *button : {next, all, close})
        button->setAutoDefault(false);
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, &ReplaceDialog::replaceNextClicked);
    connect(all, &QPushButton::clicked, this, &ReplaceDialog::replaceAllClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addLayout(texts);
    layout->addWidget(matchCaseBox);
    layout->addWidget(foldWidthBox);
    layout->addWidget(inBlockBox);
    layout->addWidget(message);
    layout->addWidget(buttons);

    // The first box, then Tab to the replacement.
    setTabOrder(findEdit, replacementEdit);
    findEdit->setFocus();
}

QString ReplaceDialog::FindText() const
{
    return findEdit->text();
}

QString ReplaceDialog::ReplacementText() const
{
    return replacementEdit->text();
}

bool ReplaceDialog::MatchCase() const
{
    return matchCaseBox->isChecked();
}

bool ReplaceDialog::FoldWidth() const
{
    return foldWidthBox->isChecked();
}

bool ReplaceDialog::InBlock() const
{
    return inBlockBox->isEnabled() && inBlockBox->isChecked();
}

int ReplaceDialog::Field() const
{
    return inFieldBox->isChecked() ? fieldBox->currentIndex() : -1;
}

void ReplaceDialog::SetTexts(const QString &find, const QString &replacement)
{
    findEdit->setText(find);
    findEdit->selectAll();
    replacementEdit->setText(replacement);
}

void ReplaceDialog::SetBlockAvailable(bool available)
{
    inBlockBox->setEnabled(available);
    inBlockBox->setChecked(available);
}

void ReplaceDialog::SetField(int field)
{
    if (field >= 0 && field < fieldBox->count())
        fieldBox->setCurrentIndex(field);
}

void ReplaceDialog::ShowMessage(const QString &text)
{
    message->setText(text);
}
