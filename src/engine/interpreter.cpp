#include <unistd.h>

#include "engine/interpreter_impl.h"

namespace xr::engine {

std::string detail::LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

Interpreter::Interpreter(std::unique_ptr<Backend> backend)
    : m_impl(std::make_unique<Impl>(std::move(backend))) {
    m_impl->backend->Open(*m_impl);
}

Interpreter::~Interpreter() = default;

void Interpreter::Execute(std::string_view batch, std::vector<ErrorRecord>& errors) {
    m_impl->Execute(batch, errors, nullptr);
}

std::unique_ptr<engine::Rows> Interpreter::Query(std::string_view batch,
                                                 std::vector<ErrorRecord>& errors) {
    std::unique_ptr<engine::Rows> rows;
    m_impl->Execute(batch, errors, &rows);
    return rows;
}

void Interpreter::Stream(std::string_view batch, std::vector<ErrorRecord>& errors,
                         ResultSink& sink) {
    m_impl->Execute(batch, errors, nullptr, &sink);
}

std::string Interpreter::CurrentDatabase() const { return m_impl->current; }
void Interpreter::Use(std::string_view database) { m_impl->Use(database); }

void Interpreter::BeginTrans() {
    if (m_impl->tranCount > 0) {
        throw ComError(Hr(0x8004D013), "Only one transaction can be active on this session.");
    }
    m_impl->BeginTran();
}
void Interpreter::CommitTrans() {
    if (m_impl->tranCount == 0) throw ComError(Hr(0x8004D00E), "No transaction is active.");
    m_impl->CheckWritable();  // a lost transaction commits nothing: only a rollback ends it
    m_impl->tranCount = 1;
    m_impl->CommitTran();
}
void Interpreter::RollbackTrans() {
    if (m_impl->tranCount == 0) throw ComError(Hr(0x8004D00E), "No transaction is active.");
    m_impl->RollbackTran();
}

void SetLoopLimit(long iterations) { detail::kMaxLoopIterations = iterations < 1 ? 1 : iterations; }

}  // namespace xr::engine
