// One of SDL's virtual game controllers, of the family its USB ids name, connected for
// as long as it lives: for the pad's tests and the README's picture of the pad in use.
#pragma once

#include <SDL.h>

class VirtualPad {
  public:
    VirtualPad(Uint16 vendor, Uint16 product)
    {
        SDL_VirtualJoystickDesc desc{SDL_VIRTUAL_JOYSTICK_DESC_VERSION,
                                     SDL_JOYSTICK_TYPE_GAMECONTROLLER,
                                     SDL_CONTROLLER_AXIS_MAX,
                                     SDL_CONTROLLER_BUTTON_MAX,
                                     0,
                                     vendor,
                                     product};
        joystick_ = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
    }
    ~VirtualPad()
    {
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(joystick_);
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id)
                SDL_JoystickDetachVirtual(i);
    }
    VirtualPad(const VirtualPad &) = delete;
    VirtualPad &operator=(const VirtualPad &) = delete;

    bool attached() const { return joystick_ != nullptr; }

    // A button (1: down, 0: up) or, from 0x100 on, an axis.
    void set(int control, int value)
    {
        if (control < 0x100)
            SDL_JoystickSetVirtualButton(joystick_, control, static_cast<Uint8>(value));
        else
            SDL_JoystickSetVirtualAxis(joystick_, control - 0x100, static_cast<Sint16>(value));
    }

  private:
    SDL_Joystick *joystick_;
};
