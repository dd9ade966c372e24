#pragma once

// The owner of skinned controls: each control reports its command id here (the owner's
// message map dispatches on it). Called on the window thread, synchronously.
class CCommandOwner
{
public:
    virtual void OnCommand(int nId) = 0;

protected:
    ~CCommandOwner() = default;
};
