# A host of the simulated fleet: runs tasks on this machine like the local connection.
# It carries a name of its own because ansible.builtin.reboot refuses the local
# connection; the simulated hosts' reboot command only stands in for a reboot.
from __future__ import absolute_import, division, print_function

from ansible.plugins.connection.local import Connection as LocalConnection

__metaclass__ = type

DOCUMENTATION = """
    name: fwpak_sim
    short_description: a simulated fleet host on this machine
    description:
        - Runs tasks on the controller, like the local connection, for the fwpak
          roll-out test's simulated hosts.
    author: fwpak maintainers
    extends_documentation_fragment:
        - connection_pipelining
"""


class Connection(LocalConnection):
    transport = "fwpak_sim"
