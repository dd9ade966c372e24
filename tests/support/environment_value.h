#pragma once

#include <string>

#include <QByteArray>
#include <QtGlobal>

// Sets an environment variable for its lifetime and then puts back what was there, unset
// included.
class CEnvironmentValue
{
public:
    CEnvironmentValue(const char *name, const std::string &value)
        : m_pName(name), m_bWasSet(qEnvironmentVariableIsSet(name)), m_Old(qgetenv(name))
    {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~CEnvironmentValue()
    {
        if (m_bWasSet)
            qputenv(m_pName, m_Old);
        else
            qunsetenv(m_pName);
    }
    CEnvironmentValue(const CEnvironmentValue &) = delete;
    CEnvironmentValue &operator=(const CEnvironmentValue &) = delete;

private:
    const char *m_pName;
    bool m_bWasSet;
    QByteArray m_Old;
};
