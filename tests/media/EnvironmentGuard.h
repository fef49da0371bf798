#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>
#include <utility>

namespace testmedia {

// Puts the named environment variables back as they were (set to their old
// value, or unset) on restore() or at the latest when it goes out of scope,
// so that a test that points them elsewhere leaves the next tests a normal
// environment whichever way it ends.
class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(const QList<const char *> &names)
    {
        for (const char *name : names)
            saved.append({name, qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt});
    }
    ~EnvironmentGuard() { restore(); }
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

    void restore()
    {
        for (const auto &[name, value] : std::as_const(saved)) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    QList<std::pair<const char *, std::optional<QByteArray>>> saved;
};

}  // namespace testmedia
