#include "platform/ole_session.h"

#include <windows.h>

#include <ole2.h>

namespace calvorn::platform {

namespace {

thread_local OleSession* t_owner = nullptr;

} // namespace

OleSession::OleSession() noexcept : outer_(t_owner) {
    t_owner = this;
}

OleSession::~OleSession() {
    // S_FALSE (already set up on this thread) counts: each successful call
    // is balanced by one OleUninitialize.
    if (result_ && SUCCEEDED(*result_))
        ::OleUninitialize();
    t_owner = outer_;
}

long OleSession::StartHere() noexcept {
    if (!result_)
        result_ = ::OleInitialize(nullptr);
    return *result_;
}

long OleSession::Start() noexcept {
    return t_owner ? t_owner->StartHere() : CO_E_NOTINITIALIZED;
}

} // namespace calvorn::platform
