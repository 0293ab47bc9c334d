#pragma once
// An error of the database layer. It reaches the calling window, which reports it.
#include <QString>
#include <memory>
#include <stdexcept>

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number(number), description(description) {}
    int number;
    QString description;
};

// The object a shared pointer holds; a shared object used before it was made raises error 91.
template <class T>
T& requireObject(const std::shared_ptr<T>& object)
{
    if (!object) throw DbError(91, QStringLiteral("Object variable or With block variable not set"));
    return *object;
}
