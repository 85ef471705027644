// SPDX-License-Identifier: GPL-3.0-or-later
#include "commondialog.hpp"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace ravik {
namespace {

class QtFileChooser final : public FileChooser {
public:
    std::optional<QString> choose(QWidget* parent, Mode mode, const QString& qtFilter,
                                  const QString& start) override {
        const QFileDialog::Options options = CommonDialog::dialogOptions(mode);
        const QString path =
            mode == Mode::Folder ? QFileDialog::getExistingDirectory(parent, QString(), start)
            : mode == Mode::Open
                ? QFileDialog::getOpenFileName(parent, QString(), start, qtFilter, nullptr, options)
                : QFileDialog::getSaveFileName(parent, QString(), start, qtFilter, nullptr,
                                               options);
        if (path.isEmpty())
            return std::nullopt;
        // Qt's dialog gives C:/...; every path the program shows is in the system's spelling.
        return QDir::toNativeSeparators(path);
    }
};

} // namespace

CommonDialog::CommonDialog(QWidget* parent)
    : parent_(parent)
    , chooser_(std::make_unique<QtFileChooser>()) {}

CommonDialog::~CommonDialog() = default;

bool CommonDialog::ShowOpen(QWidget* over) {
    return show(FileChooser::Mode::Open, over);
}

bool CommonDialog::ShowSave(FileChooser::Mode mode, QWidget* over) {
    return show(mode == FileChooser::Mode::Append ? mode : FileChooser::Mode::Save, over);
}

std::optional<QString> CommonDialog::chooseOther(QWidget* over, FileChooser::Mode mode,
                                                 const QString& qtFilter, const QString& start) {
    return chooser_->choose(over != nullptr ? over : parent_, mode, qtFilter, start);
}

QFileDialog::Options CommonDialog::dialogOptions(FileChooser::Mode mode) {
    // Asking "replace?" where nothing is replaced would only mislead.
    return mode == FileChooser::Mode::Append ? QFileDialog::DontConfirmOverwrite
                                             : QFileDialog::Options();
}

void CommonDialog::setChooser(std::unique_ptr<FileChooser> chooser) {
    chooser_ = std::move(chooser);
}

bool CommonDialog::show(FileChooser::Mode mode, QWidget* over) {
    const std::optional<QString> chosen =
        chooser_->choose(over != nullptr ? over : parent_, mode, qtFilter(Filter), FileName);
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}

QString CommonDialog::qtFilter(const QString& storedFilter) {
    const QStringList parts = storedFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses, so they must be there exactly once.
        filters << (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))
                        ? description
                        : description + QLatin1String(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QLatin1String(";;"));
}

} // namespace ravik
