#pragma once

#include "ReportReplace.h"

#include <QObject>
#include <QString>

#include <functional>

class ReplaceDialog;
class ReportDocument;

// What one find-and-replace dialog does to the report: すべて置換 replaces
// every occurrence as one step and closes the dialog when it did; each
// 次を置換 replaces the occurrence shown last, if it is still there, and
// shows the next one from the current cell on. The dialog and the report
// only meet here; the window shows the places and the words.
class ReplaceSession : public QObject
{
    Q_OBJECT

public:
    struct Place
    {
        int line = 0;
        int field = 0;
    };
    // Where a replace-next starts, how a place and a message are shown, and
    // how a replace of everything runs with its progress shown (false when
    // it cannot run now).
    struct View
    {
        std::function<Place()> current;
        std::function<void(Place)> show;
        std::function<void(const QString &)> tell;
        std::function<bool(const std::function<void(const ReadProgress &)> &)> run;
    };

    // `block` is the selected block as it was when the dialog opened.
    // Neither `document` nor `dialog` is owned.
    ReplaceSession(ReportDocument &document, ReplaceDialog &dialog, const ReportReplace::Scope &block, View view);

private:
    ReportReplace Replacer() const;
    void ReplaceAll();
    void ReplaceNext();

    ReportDocument &document;
    ReplaceDialog &dialog;
    ReportReplace::Scope block;
    View view;
    ReportReplace::Match shown;
};
