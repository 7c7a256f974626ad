#pragma once

class Programmer;

// The seventeen fixed-command menu items and "Program & Lock bit". Each sends its command
// through SendCommand and does nothing else.
class CommandSet
{
public:
    explicit CommandSet(Programmer &p) : p(p) {}

    void muIcSig_Click() { send("s"); }
    void muIcBlank_Click() { send("B"); }
    void muIcErase_Click() { send("E"); }
    void muIcProg_Click() { send("P"); }
    void muIcLock_Click() { send("l"); }
    void muIcRead_Click() { send("R"); }
    void muIcVer_Click() { send("V"); }
    void muProgClear_Click() { send("X"); }
    void muProgSum_Click() { send("c"); }
    void muDiagRAM_Click() { send("tR"); }
    void muDiagLED_Click() { send("tL"); }
    void muDiagBuz_Click() { send("tb"); }
    void muDiagVpp_Click() { send("tV"); }
    void muDiagHi_Click() { send("th"); }
    void muDiagLow_Click() { send("tl"); }
    void muDiagFirm_Click() { send("tf"); }
    void muAboutVer_Click() { send("i"); }
    void Command9_Click() { send("q"); }

private:
    void send(const char *command);

    Programmer &p;
};
