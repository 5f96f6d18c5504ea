#include "engine/plan.h"

namespace xr::engine {

// The statement-level results of binding: parameters become slots.
void TakeBinding(const tsql::BoundStatement& b, Plan& plan) {
    for (const tsql::BoundParam& p : b.params) {
        Slot s;
        s.source = p.source == tsql::BoundParam::Source::Literal    ? Slot::Source::Literal
                   : p.source == tsql::BoundParam::Source::Variable ? Slot::Source::Variable
                                                                    : Slot::Source::Constant;
        s.literal = p.literal;
        s.variable = p.variable;
        s.value = p.value;
        s.valueType = p.valueType;
        s.convert = p.convert;
        s.storing = p.storing;
        s.negate = p.negate;
        s.target = p.target;
        plan.slots.push_back(std::move(s));
    }
    plan.inlined = b.inlined;
    plan.readsIdentity = b.readsIdentity;
}

}  // namespace xr::engine
