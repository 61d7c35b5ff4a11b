#pragma once

#include "LineOrder.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;

// The fields a sort of the lines goes by: one, or two with the second
// breaking ties, each ascending or descending.
class SortDialog : public QDialog
{
    Q_OBJECT

public:
    // `fields` are the fields' names.
    SortDialog(const QStringList &fields, QWidget *parent = nullptr);

    std::vector<LineOrder::Key> Keys() const;
    void SetKeys(const std::vector<LineOrder::Key> &keys);

private:
    QComboBox *firstField;
    QComboBox *firstOrder;
    QCheckBox *secondUsed;
    QComboBox *secondField;
    QComboBox *secondOrder;
};
