// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class Form4;
}

namespace ravik {

class Workbench;

/// The Silence Info window: writes a GAP file one silence at a time and hands the finished
/// file to the main window.
class Form4 : public QWidget {
    Q_OBJECT

public:
    explicit Form4(Workbench& main, QWidget* parent = nullptr);
    ~Form4() override;

    /// "--Write Data--": appends the typed silence to the file.
    void writeData();
    /// "Select File": takes the target file from the shared dialog.
    void selectFile();
    /// "Clear File": deletes the target file.
    void clearFile();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::Form4> ui_;
    Workbench& main_;
};

} // namespace ravik
