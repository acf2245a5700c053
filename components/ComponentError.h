#pragma once

#include <QString>

#include <stdexcept>

// An error that a component raises from a property write or a call, carrying
// a description the user can act on (it is shown in a status line).
class ComponentError : public std::runtime_error
{
public:
    explicit ComponentError(const QString &description)
        : std::runtime_error(description.toStdString())
        , m_description(description)
    {}

    QString description() const { return m_description; }

private:
    QString m_description;
};
