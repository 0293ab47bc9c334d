#pragma once
// An error of the database layer. It reaches the calling window, which reports it.
#include <QString>
#include <stdexcept>

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number(number), description(description) {}
    int number;
    QString description;
};
