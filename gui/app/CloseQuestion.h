#pragma once

// The question the main window puts to each of its windows before it closes any of them. A
// window that may refuse (an editor with unsent changes) asks the operator; every other window
// agrees. Once all have agreed, the main window approves each one's close, so a window does not
// ask a second time while it is being closed.
class CloseQuestion
{
public:
    virtual ~CloseQuestion() = default;

    // True when the window may close now.
    virtual bool FormCloseQuery() { return true; }

    void approveClose() { m_closeApproved = true; }
    bool closeApproved() const { return m_closeApproved; }

private:
    bool m_closeApproved = false;
};
