// A scripted prompter for driving the wizard without a person: it records
// every box, answers questions from a queue, hands each modal dialog to the
// next handler of a queue and collects what would have been opened or
// copied. Shared by the wizard tests and the picture tool.
#pragma once

#include <QDialog>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "GUI2/g_wiz_sh.h"

// The offscreen platform says on every window that it cannot pass size
// hints on; nothing to act on, so that note is dropped and the rest kept.
inline void quiet_offscreen_notes() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains("propagateSizeHints") && previous)
                previous(type, context, text);
        });
}

class script_prompter : public shell_prompter {
  public:
    struct shown_box {
        box_kind kind;
        QString caption;
        QString text;
        bool default_no;
    };
    using dialog_handler = std::function<int(QDialog&)>;

    std::vector<shown_box> boxes;
    std::deque<bool> answers;  // questions without an answer get No
    std::deque<dialog_handler> dialogs;
    std::vector<QString> dialogs_seen;  // object names of the dialogs run
    std::deque<QString> files;
    QStringList filters;  // the filter of every file dialog asked, in order
    std::vector<QUrl> opened;
    bool can_open = true;  // false: no application opens anything
    QString clipboard;
    // Called with every box before it is answered (the picture tool).
    std::function<void(const shown_box&)> on_box;

    bool box(QWidget*, box_kind kind, const QString& caption, const QString& text,
             bool default_no) override {
        boxes.push_back({kind, caption, text, default_no});
        if (on_box)
            on_box(boxes.back());
        if (kind != box_kind::question || answers.empty())
            return false;
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    int exec(QDialog& dialog) override {
        dialogs_seen.push_back(dialog.objectName());
        if (dialogs.empty())
            return QDialog::Rejected;
        dialog_handler handler = std::move(dialogs.front());
        dialogs.pop_front();
        return handler(dialog);
    }
    QString file_name(QWidget*, bool, const QString&, const QString&, const QString& filter,
                      const QString&) override {
        filters.push_back(filter);
        if (files.empty())
            return QString();
        QString f = files.front();
        files.pop_front();
        return f;
    }
    bool open_url(const QUrl& url) override {
        if (can_open)
            opened.push_back(url);
        return can_open;
    }
    void set_clipboard(const QString& text) override { clipboard = text; }

    // The texts of the boxes shown so far.
    QStringList texts() const {
        QStringList all;
        for (const shown_box& b : boxes) all << b.text;
        return all;
    }
};
