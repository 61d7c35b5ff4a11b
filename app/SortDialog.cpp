#include "SortDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox *orderBox(QWidget *parent, const QString &name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems({SortDialog::tr("昇順"), SortDialog::tr("降順")});
    return box;
}

} // namespace

SortDialog::SortDialog(const QStringList &fields, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("並べ替え"));
    firstField = new QComboBox(this);
    firstField->setObjectName(QStringLiteral("FirstField"));
    firstField->addItems(fields);
    firstOrder = orderBox(this, QStringLiteral("FirstOrder"));
    secondUsed = new QCheckBox(tr("次に(&T):"), this);
    secondUsed->setObjectName(QStringLiteral("SecondUsed"));
    secondField = new QComboBox(this);
    secondField->setObjectName(QStringLiteral("SecondField"));
    secondField->addItems(fields);
    secondOrder = orderBox(this, QStringLiteral("SecondOrder"));
    for (QWidget *second : {static_cast<QWidget *>(secondField), static_cast<QWidget *>(secondOrder)}) {
        second->setEnabled(false);
        connect(secondUsed, &QCheckBox::toggled, second, &QWidget::setEnabled);
    }

    auto *keys = new QGridLayout;
    auto *firstLabel = new QLabel(tr("最優先の項目(&S):"), this);
    firstLabel->setBuddy(firstField);
    keys->addWidget(firstLabel, 0, 0);
    keys->addWidget(firstField, 0, 1);
    keys->addWidget(firstOrder, 0, 2);
    keys->addWidget(secondUsed, 1, 0);
    keys->addWidget(secondField, 1, 1);
    keys->addWidget(secondOrder, 1, 2);
    auto *note = new QLabel(tr("数字だけの値どうしは数として比べます（9は10より前）。"
                                           "同じ値の行は元の順のままです。"),
                            this);
    note->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("並べ替え"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(keys);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

std::vector<LineOrder::Key> SortDialog::Keys() const
{
    std::vector<LineOrder::Key> keys{{firstField->currentIndex(), firstOrder->currentIndex() == 1}};
    if (secondUsed->isChecked())
        keys.push_back({secondField->currentIndex(), secondOrder->currentIndex() == 1});
    return keys;
}

void SortDialog::SetKeys(const std::vector<LineOrder::Key> &keys)
{
    if (keys.empty())
        return;
    firstField->setCurrentIndex(keys[0].field);
    firstOrder->setCurrentIndex(keys[0].descending ? 1 : 0);
    secondUsed->setChecked(keys.size() > 1);
    if (keys.size() > 1) {
        secondField->setCurrentIndex(keys[1].field);
        secondOrder->setCurrentIndex(keys[1].descending ? 1 : 0);
    }
}
