#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: kelvane_free_space
short_description: Overwrite the free space of mounted file systems with kelvane-cli
version_added: 1.0.0
description:
  - Fills each given drive (mounted file system) with temporary files until it is full,
    deletes them and trims the freed blocks, by running C(kelvane-cli free-space --yes --json)
    on the target, so that the data of files deleted earlier is overwritten.
  - A folder that is not a mount point stands for the whole drive holding it.
  - In check mode nothing is run; the task reports that the free space would be overwritten.
options:
  mountpoints:
    description: The mount points (or folders on the drives) whose free space is overwritten.
    type: list
    elements: path
    required: true
  reserve:
    description: Overwrite the space reserved for root too, through Kelvane's privileged helper where the run is not root.
    type: bool
    default: false
extends_documentation_fragment:
  - kelvane.erasure.overwrite
attributes:
  check_mode:
    support: full
    details: Nothing is written; the task says it would change.
  diff_mode:
    support: none
requirements:
  - kelvane-cli on the target
notes:
  - Overwriting free space always writes, so a run always reports C(changed=true).
  - The task fails when a drive failed (exit status 1) or the run was interrupted (2), with the
    drives' results in C(drives).
seealso:
  - module: kelvane.erasure.kelvane_shred
author:
  - Kelvane developers
'''

EXAMPLES = r'''
- name: Overwrite the free space of the data drive once a month
  kelvane.erasure.kelvane_free_space:
    mountpoints: [/srv/data]
    passes: 1
'''

RETURN = r'''
drives:
  description: One result per drive, with its root, its result (done or failed) and the log line.
  returned: always
  type: list
  elements: dict
reports:
  description: The report files of the run.
  returned: when a run happened
  type: list
  elements: dict
outcome:
  description: The run's outcome as kelvane-cli names it.
  returned: always
  type: str
rc:
  description: kelvane-cli's exit status.
  returned: when a run happened
  type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kelvane.erasure.plugins.module_utils.kelvane_cli import (
    EXIT_DONE, OVERWRITE_ARGS, cli_command, end_of, fail_run, of_kind, overwrite_options,
    reports_of, run_cli)


def main():
    spec = dict(
        mountpoints=dict(type='list', elements='path', required=True),
        reserve=dict(type='bool', default=False),
    )
    spec.update(OVERWRITE_ARGS)
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    p = module.params
    result = dict(changed=False, drives=[], outcome='none')
    if not p['mountpoints']:
        module.exit_json(**result)
    if module.check_mode:
        result.update(changed=True, outcome='would-overwrite',
                      drives=[dict(root=m, result='would-overwrite') for m in p['mountpoints']])
        module.exit_json(**result)

    argv = [cli_command(module), 'free-space', '--yes', '--json'] + overwrite_options(module)
    if p['reserve']:
        argv.append('--reserve')
    rc, events, err = run_cli(module, argv + ['--'] + p['mountpoints'])
    result['drives'] = [dict(root=d.get('root'), result=d.get('result'), line=d.get('line'))
                        for d in of_kind(events, 'drive')]
    result['reports'] = reports_of(events)
    result['outcome'] = end_of(events).get('outcome', 'none')
    result['rc'] = rc
    result['changed'] = any(d['result'] == 'done' for d in result['drives'])
    if rc != EXIT_DONE:
        fail_run(module, rc, events, err, result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
