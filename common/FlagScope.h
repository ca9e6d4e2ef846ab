#pragma once
// TFlagScope: sets a flag for the lifetime of the scope and restores its previous state
// when the scope ends, also when an error leaves it.

class TFlagScope {
public:
    explicit TFlagScope(bool& Flag) noexcept : FFlag(Flag), FSaved(Flag) { FFlag = true; }
    ~TFlagScope() { FFlag = FSaved; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
    bool FSaved;
};
