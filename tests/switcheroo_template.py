"""Stands in for switcheroo-control: an integrated default card and a discrete one."""
import dbus

BUS_NAME = 'net.hadess.SwitcherooControl'
MAIN_OBJ = '/net/hadess/SwitcherooControl'
MAIN_IFACE = 'net.hadess.SwitcherooControl'
SYSTEM_BUS = True


def card(name, environment, default):
    return dbus.Dictionary({'Name': name, 'Environment': dbus.Array(environment, signature='s'),
                            'Default': default}, signature='sv')


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {'HasDualGpu': True, 'NumGPUs': dbus.UInt32(2), 'GPUs': dbus.Array(
        [card('Integrated', [], True), card('Discrete', ['DRI_PRIME', 'pci-0000_01_00_0'], False)],
        signature='a{sv}')})
