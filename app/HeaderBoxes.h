#pragma once

#include "ReportDocument.h"

#include <QObject>
#include <QString>

#include <array>

class QLineEdit;

// The three header boxes over the document's header values: what the user
// types becomes a step (keystrokes in one box merge until the focus moves
// elsewhere), a value the document changes (undo, a load) shows in its box,
// and a box whose value breaks its rule is framed red with the rule as its
// hint, like an invalid cell, without keeping anyone from typing or saving.
class HeaderBoxes : public QObject
{
    Q_OBJECT

public:
    using Boxes = std::array<QLineEdit *, ReportDocument::HeaderCount>;

    // Neither `document` nor the boxes are owned.
    HeaderBoxes(ReportDocument &document, const Boxes &boxes, QObject *parent = nullptr);

signals:
    // A value typed could not be kept for want of memory.
    void editFailed();

private:
    void Show(ReportDocument::HeaderBox box);
    void ShowVerdict(ReportDocument::HeaderBox box);

    ReportDocument &document;
    Boxes boxes;
    // The boxes' own hints, shown while their values keep the rules.
    std::array<QString, ReportDocument::HeaderCount> hints;
    // Typing into a box after the focus was elsewhere is a new step.
    int session = 0;
    // The text a box hands over is its own already.
    bool typing = false;
};
