#include "app/extra_inputs_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/extra_inputs.h"

namespace velmora::app {

std::optional<std::vector<std::string>> AskExtraInputs(QWidget* parent,
                                                       const std::vector<std::string>& listed,
                                                       const std::vector<std::string>& chosen,
                                                       const std::string& mainName) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ExtraInputsDialog"));
    dialog.setWindowTitle(QStringLiteral("Extra inputs"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(QStringLiteral("Also show in the history, and capture, what these "
                                           "inputs receive (at most %1):")
                                .arg(ExtraInputs::kMost),
                            &dialog);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstExtraInputs"));
    auto add = [list](const std::string& name, bool checked, bool there) {
        auto* item = new QListWidgetItem(QString::fromStdString(name) +
                                             (there ? QString() : QStringLiteral(" (not there)")),
                                         list);
        item->setData(Qt::UserRole, QString::fromStdString(name));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    };
    auto has = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const std::string& name : listed) {
        if (!name.empty() && name != mainName) {
            add(name, has(chosen, name), true);
        }
    }
    for (const std::string& name : chosen) {
        if (!has(listed, name)) {
            add(name, true, false);
        }
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        if (item->checkState() == Qt::Checked) {
            names.push_back(item->data(Qt::UserRole).toString().toStdString());
        }
    }
    return names;
}

} // namespace velmora::app
