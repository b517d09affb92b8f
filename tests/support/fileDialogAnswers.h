#pragma once

#include "modCommonDialogAPI.h"

#include <QList>
#include <QStringList>

// Answers the file dialogs instead of the user, for as long as it lives: each with the next of
// `answers`, or with nothing (cancelled) once they run out; keeps every request.
struct FileDialogAnswers {
    QStringList answers;
    QList<FileDialogRequest> requests;

    explicit FileDialogAnswers(QStringList given = {}) : answers(std::move(given)) {
        setFileDialogResponder([this](const FileDialogRequest& request) {
            requests << request;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~FileDialogAnswers() { setFileDialogResponder(nullptr); }
    FileDialogAnswers(const FileDialogAnswers&) = delete;
    FileDialogAnswers& operator=(const FileDialogAnswers&) = delete;
};
