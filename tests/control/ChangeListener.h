#pragma once

#include <QObject>
#include <QString>

#include <utility>
#include <vector>

// Collects the program's Changed signals as a listener on the bus receives them.
class ChangeListener : public QObject {
    Q_OBJECT

public:
    std::vector<std::pair<QString, int>> heard;

public Q_SLOTS:
    void Changed(const QString &picture, int entry) { heard.emplace_back(picture, entry); }
};
