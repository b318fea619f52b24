#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Tessarin
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: kelvane_verify_report
short_description: Check a Kelvane erasure report and who signed it
version_added: 1.0.0
description:
  - Runs C(kelvane-cli verify-report) on a report, usually on the control node after the
    reports were fetched there, with C(delegate_to=localhost).
  - The answer is one of C(trusted) (intact and signed by a trusted key), C(untrusted) (intact,
    but signed by a key not trusted there), C(changed) (the report or its signature was altered)
    and C(unreadable).
  - Trusted keys are those of the OpenSSH C(allowed_signers) files given in I(trust), besides
    the keys the user running the check trusts through Kelvane's own configuration.
options:
  path:
    description: The JSON report.
    type: path
    required: true
  trust:
    description: OpenSSH allowed_signers files whose keys are trusted (for example the fleet's keys).
    type: list
    elements: path
    default: []
  require_trusted:
    description: Fail unless the report is intact and signed by a trusted key. With C(false), an intact report signed by an unknown key passes.
    type: bool
    default: true
  cli:
    description: The kelvane-cli program where the check runs.
    type: str
    default: kelvane-cli
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
requirements:
  - kelvane-cli where the check runs
notes:
  - The same report can be checked without Kelvane by OpenSSH, with the signature file beside
    it - C(ssh-keygen -Y verify -f allowed_signers -I PRINCIPAL -n kelvane-report -s REPORT.sig < REPORT).
author:
  - Kelvane developers
'''

EXAMPLES = r'''
- name: Check every fetched report on the control node against the fleet's keys
  kelvane.erasure.kelvane_verify_report:
    path: "{{ item }}"
    trust: [/etc/kelvane/fleet_allowed_signers]
  delegate_to: localhost
  loop: "{{ fetched_reports }}"
'''

RETURN = r'''
status:
  description: trusted, untrusted, changed or unreadable.
  returned: always
  type: str
fingerprint:
  description: The fingerprint of the key that signed the report, where it could be read.
  returned: when known
  type: str
summary:
  description: What kelvane-cli says about the report (its run, outcome and counts).
  returned: always
  type: list
  elements: str
rc:
  description: kelvane-cli's exit status (0 trusted, 3 untrusted, 1 changed, 2 unreadable).
  returned: always
  type: int
'''

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kelvane.erasure.plugins.module_utils.kelvane_cli import cli_command

STATUS = {0: 'trusted', 3: 'untrusted', 1: 'changed', 2: 'unreadable'}


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path', required=True),
            trust=dict(type='list', elements='path', default=[]),
            require_trusted=dict(type='bool', default=True),
            cli=dict(type='str', default='kelvane-cli'),
        ),
        supports_check_mode=True)
    argv = [cli_command(module), 'verify-report']
    for allowed in module.params['trust']:
        argv += ['--trust', allowed]
    rc, out, err = module.run_command(argv + ['--', module.params['path']], check_rc=False,
                                      errors='surrogate_or_replace')
    if rc not in STATUS:
        module.fail_json(msg=(err.strip() or out.strip() or 'kelvane-cli verify-report ended with status %d' % rc),
                         rc=rc, status='error')
    text = out + '\n' + err
    found = re.search(r'SHA256:[A-Za-z0-9+/=]+', text)
    result = dict(changed=False, rc=rc, status=STATUS[rc],
                  summary=[line for line in out.splitlines() if line.strip()])
    if found:
        result['fingerprint'] = found.group(0)
    ok = rc == 0 or (rc == 3 and not module.params['require_trusted'])
    if not ok:
        reason = {'untrusted': 'the report is intact but signed by a key that is not trusted',
                  'changed': 'the report was changed after it was signed',
                  'unreadable': 'the report cannot be read'}[result['status']]
        module.fail_json(msg='%s: %s' % (module.params['path'], reason), stderr=err, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
