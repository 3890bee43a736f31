#pragma once
// Sets an environment variable for one scope and puts back what was there before.
#include <QByteArray>
#include <QtGlobal>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};
