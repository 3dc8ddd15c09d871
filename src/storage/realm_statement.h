// A prepared statement borrowed from a connection's cache. Preparing costs more than running the small
// statements the stored records use, so each connection keeps its statements. The borrow resets the
// statement when it ends: a statement left mid-result would hold its read snapshot open.
#pragma once

#include <SQLiteCpp/Statement.h>

#include <memory>

namespace vandrel {

class RealmStatement {
public:
    // Borrows a cached statement; inUse marks it taken until the borrow ends.
    RealmStatement(SQLite::Statement& cached, bool& inUse) : statement_(&cached), inUse_(&inUse) { inUse = true; }
    // A statement of its own, for a nested use of a statement that is already borrowed.
    explicit RealmStatement(std::unique_ptr<SQLite::Statement> own) : own_(std::move(own)), statement_(own_.get()) {}

    RealmStatement(const RealmStatement&) = delete;
    RealmStatement& operator=(const RealmStatement&) = delete;
    ~RealmStatement()
    {
        statement_->tryReset();
        if (inUse_) *inUse_ = false;
    }

    SQLite::Statement& operator*() const { return *statement_; }
    SQLite::Statement* operator->() const { return statement_; }

private:
    std::unique_ptr<SQLite::Statement> own_;
    SQLite::Statement* statement_;
    bool* inUse_ = nullptr;
};

}  // namespace vandrel
