#pragma once

// The hook library's three messages as this program receives them: ClientMessages whose types
// are interned from the library's registration names.
extern unsigned long UWM_MOUSEMOVE;
extern unsigned long UWM_LBUTTONDN;
extern unsigned long UWM_LBUTTONUP;

// Interns the three ids and starts listening for them; the application calls it at start-up.
void RegisterHookMessages();

// The picking dialog's side of the hook messages. A handler runs only after the previous one has
// returned (the fixed waits inside a handler keep processing events, so a release could otherwise
// run inside the press handler), and moves that pile up meanwhile count as one.
class CHookReceiver {
  public:
    virtual void OnHookMessage(unsigned long message) = 0;

  protected:
    ~CHookReceiver() = default;
};

// Routes the messages sent to `window` to `receiver`; (0, nullptr) stops and drops what is queued.
void SetHookReceiver(unsigned long window, CHookReceiver* receiver);
