"""Stands in for switcheroo-control: an integrated default card and a discrete one."""
import dbus

BUS_NAME = MAIN_IFACE = 'net.hadess.SwitcherooControl'
MAIN_OBJ = '/net/hadess/SwitcherooControl'
SYSTEM_BUS = True


def load(mock, parameters):
    cards = [('Integrated', [], True), ('Discrete', ['DRI_PRIME', 'pci-0000_01_00_0'], False)]
    mock.AddProperties(MAIN_IFACE, {'GPUs': dbus.Array([dbus.Dictionary(
        {'Name': n, 'Environment': dbus.Array(e, signature='s'), 'Default': d}, signature='sv')
        for n, e, d in cards], signature='a{sv}')})
