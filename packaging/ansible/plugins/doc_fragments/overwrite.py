# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # How the data is overwritten, and the report and program of a run; the
    # options of every module that runs kelvane-cli to overwrite.
    DOCUMENTATION = r'''
options:
  passes:
    description: How many times the data is overwritten (1 to 300). Default, the target's Kelvane setting.
    type: int
  method:
    description: What is written. Default, the target's Kelvane setting.
    type: str
    choices: [random, value, pattern]
  value:
    description: The byte written with I(method=value) (0 to 255).
    type: int
  pattern:
    description: A file on the target whose contents are written, repeated, with I(method=pattern).
    type: path
  report:
    description: Also write the run's signed report to these places (a folder, or a new file name).
    type: list
    elements: path
    default: []
  key:
    description: Sign the report with this key (an organisation's) instead of the user's own.
    type: path
  cli:
    description: The kelvane-cli program on the target.
    type: str
    default: kelvane-cli
'''
