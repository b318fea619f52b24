#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: kelvane_check
short_description: Tell whether overwriting reaches the data of files, touching nothing
version_added: 1.0.0
description:
  - Runs C(kelvane-cli check --json) on the target and returns a verdict per entry, in place
    or cannot be guaranteed with the reasons (copy-on-write or log-structured file system,
    flash storage, a read-only mount, an immutable file, ...).
  - Never changes anything, so the task never reports C(changed).
options:
  paths:
    description: Files and folders to look at. Folders are walked.
    type: list
    elements: path
    required: true
  fail_if_not_guaranteed:
    description: Fail the task when overwriting cannot be guaranteed for some file.
    type: bool
    default: false
  cli:
    description: The kelvane-cli program on the target.
    type: str
    default: kelvane-cli
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
requirements:
  - kelvane-cli on the target
author:
  - Kelvane developers
'''

EXAMPLES = r'''
- name: Refuse to go on where overwriting cannot reach the data
  kelvane.erasure.kelvane_check:
    paths: [/srv/export]
    fail_if_not_guaranteed: true
'''

RETURN = r'''
in_place:
  description: True when every file is overwritten in place.
  returned: always
  type: bool
verdicts:
  description: One verdict per entry (path, kind, bytes, in_place, reasons).
  returned: always
  type: list
  elements: dict
not_guaranteed:
  description: The files whose overwriting cannot be guaranteed, with the reasons.
  returned: always
  type: list
  elements: dict
totals:
  description: The counts over every entry (files, folders, bytes, not_guaranteed, not_listed).
  returned: always
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kelvane.erasure.plugins.module_utils.kelvane_cli import (
    EXIT_DONE, EXIT_NOT_GUARANTEED, cli_command, fail_run, of_kind, run_cli)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            paths=dict(type='list', elements='path', required=True),
            fail_if_not_guaranteed=dict(type='bool', default=False),
            cli=dict(type='str', default='kelvane-cli'),
        ),
        supports_check_mode=True)
    rc, events, err = run_cli(module, [cli_command(module), 'check', '--json', '--'] + module.params['paths'])
    verdicts = [dict((k, v) for k, v in e.items() if k != 'event') for e in of_kind(events, 'verdict')]
    totals = of_kind(events, 'totals')
    result = dict(changed=False, in_place=rc == EXIT_DONE, verdicts=verdicts,
                  not_guaranteed=[v for v in verdicts if v.get('in_place') is False],
                  totals=dict((k, v) for k, v in totals[-1].items() if k != 'event') if totals else {})
    if rc not in (EXIT_DONE, EXIT_NOT_GUARANTEED):
        fail_run(module, rc, events, err, result)
    if rc == EXIT_NOT_GUARANTEED and module.params['fail_if_not_guaranteed']:
        module.fail_json(msg='overwriting cannot be guaranteed for %d file(s)' % len(result['not_guaranteed']),
                         **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
