// @ts-nocheck
'use strict'

// The module's API client, installation copy, actions and feedbacks against the real
// controller (headless, made-up installation), over its WebSocket with TLS on loopback,
// pinning the certificate the controller made for itself.

const assert = require('node:assert/strict')
const { after, before, describe, it } = require('node:test')
const { WebSocketServer } = require('ws')
const { ApiClient, Status } = require('../src/api_client')
const { Installation } = require('../src/installation')
const definitions = require('../src/definitions')
const { Controller, waitUntil } = require('./controller')

const FAST = { firstRetryMs: 100, longestRetryMs: 400, connectTimeoutMs: 2000, heartbeatMs: 500 }

// The client's next status with its message: the one wanted, or else the first that ends an attempt.
const nextStatus = (client, wanted) => new Promise((resolve) => {
	const listener = (status, message) => {
		if (wanted ? status !== wanted : status === Status.Connecting) return
		client.off('status', listener)
		resolve({ status, message })
	}
	client.on('status', listener)
})
// The client started, and its first status that ends an attempt.
const started = (client) => {
	const first = nextStatus(client)
	client.start()
	return first
}

// A client that follows the installation like the module does, signed in and up to date.
async function follower(controller, fingerprint = controller.fingerprint) {
	const client = new ApiClient({ host: '127.0.0.1', port: controller.port, token: controller.token, fingerprint, ...FAST })
	const installation = new Installation()
	const problems = []
	installation.follow(client, (message) => problems.push(message))
	const loaded = new Promise((resolve) => installation.once('lists', resolve))
	client.start()
	await loaded
	return { client, installation, problems }
}

describe('against the controller', { timeout: 90000 }, () => {
	let controller, module, other, installation
	const clients = []
	const send = (method, params) => module.client.request(method, params)
	// The sources the controller says TARGETS show.
	const sourcesOf = (targets) => send('state').then(({ decoders, walls }) =>
		targets.map((name) => [...decoders, ...walls].find((entry) => entry.name === name).source))
	// The network name of what the made-up installation calls `alias`.
	const nameOf = (alias) => [...installation.encoders, ...installation.decoders, ...installation.walls]
		.find((entry) => entry.alias === alias)?.name ?? assert.fail(`"${alias}" is not listed`)
	// Companion hands an action or feedback the options it keeps under the ids the definition gives them; a
	// dropdown that takes no value of the user's own offers only its choices.
	const run = (definition, given) => definition.callback({ options: Object.fromEntries(definition.options.map((option) => {
		const values = [given[option.id]].flat().filter((value) => value !== undefined)
		assert.ok(option.id && (option.allowCustom || values.every((value) => option.choices.some(({ id }) => id === value))))
		return [option.id, given[option.id]]
	})) })
	// A press and its release.
	const press = (button, actions) => Promise.all(button.steps.flatMap(({ down, up }) => [...down, ...up])
		.map(({ actionId, options }) => run(actions[actionId], options)))
	const lit = (button, feedbacks) => button.feedbacks.every(({ feedbackId, options }) => run(feedbacks[feedbackId], options))

	before(async () => {
		controller = new Controller()
		await controller.start()
		module = await follower(controller)
		installation = module.installation
		// The fingerprint as some tools print it: no colons, lower case.
		other = await follower(controller, controller.fingerprint.replace(/:/g, '').toLowerCase())
		clients.push(module.client, other.client)
	})

	after(() => (clients.forEach((client) => client.stop()), controller?.dispose()))

	it('routes and switches the displays with its actions and buttons, and the controller agrees', async () => {
		const actions = definitions.actions(installation, send)
		const presets = definitions.presets(installation)
		const [encoder, wall, decoder] = ['TX - 2', '2 x 2 - 1', 'RX - 4'].map(nameOf)
		const cases = [
			{ action: 'route', options: { source: encoder, target: decoder }, expect: { [decoder]: encoder } },
			{ button: `route_${wall}_${encoder}`, expect: { [wall]: encoder } },
			{ action: 'clear', options: { target: decoder }, expect: { [decoder]: null, [wall]: encoder } },
			{ action: 'route', options: { source: encoder, target: actions.route.options[1].choices[0].id }, expect: { [decoder]: encoder, [wall]: encoder } },
			{ button: 'clear_all', expect: { [decoder]: null, [wall]: null } },
		]
		for (const { action, options, button, expect } of cases) {
			await (button ? press(presets[button], actions) : run(actions[action], options))
			assert.deepEqual(await sourcesOf(Object.keys(expect)), Object.values(expect), `${button || action} ${JSON.stringify(options)}`)
			// The module's own copy follows the same change through the events.
			await waitUntil('the events of the change', () => Object.entries(expect).every(([target, source]) => installation.sourceOf(target) === source))
		}
		await assert.rejects(run(actions.route, { source: encoder, target: 'nowhere' }), { errorName: 'not_found' })
		const answers = []
		for (const id of ['power_on', 'power_off', 'numbers_show', 'numbers_hide']) answers.push(...(await press(presets[id], actions)))
		answers.push(await run(actions.power, { on: 'off', targets: [decoder] }))
		assert.deepEqual(answers, [{ on: true, targets: 'all' }, { on: false, targets: 'all' }, { show: true }, { show: false },
			{ on: false, targets: [decoder] }])
		// With nothing to retry the controller refuses; a command it did not know it would call unknown.
		await assert.rejects(press(presets.scene_retry, actions), { errorName: 'refused' })
		// The connection button does nothing but light; every button lights only with feedbacks the module has.
		const [offline, online] = [false, true].map((connected) => definitions.feedbacks(installation, () => connected))
		assert.deepEqual([await press(presets.connection, actions), lit(presets.connection, offline)], [[], false])
		assert.doesNotThrow(() => Object.values(presets).forEach((button) => lit(button, online)))
	})

	it('lights a feedback and fills a variable when another client routes', async () => {
		const feedbacks = definitions.feedbacks(installation, () => true)
		const [encoder, wall] = ['TX - 3', '2 x 2 - 1'].map(nameOf)
		const presets = definitions.presets(installation)
		// The button that routes it there lights, the one for all screens has nothing to show.
		const showsSource = () => lit(presets[`route_${wall}_${encoder}`], feedbacks)
		assert.deepEqual([showsSource(), presets[`route_all_${encoder}`].feedbacks], [false, []])
		await other.client.request('route', { source: 'TX - 3', target: '2 x 2 - 1' })
		await waitUntil('the feedback to light', async () => showsSource())
		// Buttons name the variable: "source_" and the wall's network name, "_" for what Companion does not allow.
		const values = definitions.variableValues(installation)
		assert.deepEqual([values[`source_${wall.replaceAll(':', '_')}`], values.scene_active, run(feedbacks.online, { device: encoder })],
			['TX - 3', '', true])
		// Every variable it fills is one it defines, named as Companion allows.
		assert.deepEqual(definitions.variableDefinitions(installation).map(({ variableId }) => variableId), Object.keys(values))
		for (const id of Object.keys(values)) assert.match(id, /^[\w-]+$/)
		// A wall made elsewhere shows up in the dropdowns, its members leave them (they are
		// routed through the wall), and it gets a page of presets.
		const members = ['RX - 1', 'RX - 2'].map(nameOf)
		await other.client.request('wall.create', { name: 'Stage', columns: 2, rows: 1, members })
		await waitUntil('the new wall in the lists', async () => installation.walls.some((entry) => entry.alias === 'Stage'))
		const targets = definitions.actions(installation, () => {}).route.options[1].choices.map((choice) => choice.id)
		assert.ok(targets.includes(nameOf('Stage')) && !members.some((member) => targets.includes(member)))
		assert.ok(Object.values(definitions.presets(installation)).some((preset) => preset.category === 'Wall: Stage'))
		assert.deepEqual(module.problems, [])
	})

	it('recalls a scene with its action and lights it while the screens show it', async () => {
		const [decoder, wall, first] = ['RX - 4', '2 x 2 - 1', 'TX - 1'].map(nameOf)
		const active = () => lit(definitions.presets(installation).scene_recall_Lecture, definitions.feedbacks(installation, () => true))
		// Another client saves what two screens show as a scene: it reaches the dropdowns and presets.
		for (const target of [decoder, wall]) await other.client.request('route', { source: first, target })
		await other.client.request('scene.save', { name: 'Lecture', targets: [decoder, wall] })
		await waitUntil('the new scene in the lists', async () => installation.scenes.includes('Lecture'))
		const actions = definitions.actions(installation, send)
		assert.deepEqual(actions.scene_recall.options[0].choices, [{ id: 'Lecture', label: 'Lecture' }])
		// Lit while the screens show it, out when another client clears one of them.
		await waitUntil('the scene to light', async () => active())
		await other.client.request('clear', { target: decoder })
		await waitUntil('the scene to go out', async () => !active())
		await press(definitions.presets(installation).scene_recall_Lecture, actions)
		await waitUntil('the recall to finish', async () => installation.recallResult() === 'done')
		assert.deepEqual(await sourcesOf([decoder, wall]), [first, first])
		await waitUntil('the scene to light again', async () => active())
		assert.deepEqual(Object.entries(definitions.variableValues(installation)).slice(0, 2), [['scene_active', 'Lecture'], ['scene_recall', 'done']])
		// A module that connects now learns the scenes, the active one and the recall from the state.
		const { client: lateClient, installation: late } = await follower(controller)
		clients.push(lateClient)
		assert.deepEqual([late.scenes, late.activeScene, late.recallResult()], [['Lecture'], 'Lecture', 'done'])
	})

	it('says why it is not connected: refused token or certificate, lost or hung controller, unreachable', async () => {
		const attempt = (options) => {
			const client = new ApiClient({ host: '127.0.0.1', port: controller.port, token: controller.token, ...options, ...FAST })
			return started(client).finally(() => client.stop())
		}
		assert.deepEqual(await attempt({ token: 'not-the-token', fingerprint: controller.fingerprint }),
			{ status: Status.AuthFailed, message: 'token refused: wrong proof for the challenge; trying again in 1 s' })
		// Another certificate than the pinned one (or none pinned) is refused before the sign-in.
		const otherCertificate = controller.fingerprint.replace(/^../, (byte) => (byte === 'AA' ? 'BB' : 'AA'))
		for (const fingerprint of [otherCertificate, ''])
			assert.deepEqual(await attempt({ fingerprint }), { status: Status.CertificateRefused,
				message: `127.0.0.1:${controller.port} shows the certificate ${controller.fingerprint}, not the pinned one; trying again in 1 s` })

		const { client } = module
		const connected = () => definitions.feedbacks(installation, () => client.connected).connected.callback({ options: {} })
		const reconnected = new Promise((resolve) => client.once('ready', resolve))
		const lost = nextStatus(client, Status.Lost)
		const unreachable = nextStatus(client, Status.Unreachable)
		await controller.stop()
		assert.match((await lost).message, /^the controller closed the connection: the controller is stopping; trying again/)
		assert.equal(connected(), false)
		await assert.rejects(send('state'), /not connected/)
		// A connection taken while the controller was still ending is reset rather than refused.
		assert.match((await unreachable).message, /cannot reach 127\.0\.0\.1:7741 \((ECONNREFUSED|ECONNRESET)\)/)
		await controller.start()
		await reconnected
		assert.deepEqual([client.status, connected()], [Status.Ok, true])

		// A controller that hangs keeps the connection open but answers no pings.
		const silent = nextStatus(client, Status.Lost)
		const back = new Promise((resolve) => client.once('ready', resolve))
		controller.process.kill('SIGSTOP')
		const hung = await silent.finally(() => controller.process.kill('SIGCONT'))
		assert.match(hung.message, /^127\.0\.0\.1:7741 stopped answering; trying again/)
		await back
	})
})

describe('without the controller', () => {
	// A stranger on the controller's address, without the token, that takes any proof and says so.
	it('trusts only a controller that signs the proof with the token', async (t) => {
		const server = new WebSocketServer({ host: '127.0.0.1', port: 0 })
		t.after(() => server.close())
		await new Promise((resolve) => server.once('listening', resolve))
		const asked = []
		server.on('connection', (socket) => {
			socket.send(JSON.stringify({ jsonrpc: '2.0', method: 'hello', params: { salt: 'c2FsdA==', challenge: 'Y2hhbGxlbmdl' } }))
			socket.on('message', (raw) => {
				const { id, method } = JSON.parse(raw.toString())
				asked.push(method)
				socket.send(JSON.stringify({ jsonrpc: '2.0', id, result: method === 'auth' ? { server: 'forged' } : {} }))
			})
		})
		const client = new ApiClient({ host: '127.0.0.1', port: server.address().port, token: 'x', tls: false, ...FAST })
		t.after(() => client.stop())
		const { status, message } = await started(client)
		assert.deepEqual([status, asked, /^token refused: the controller could not prove it holds this token;/.test(message)],
			[Status.AuthFailed, ['auth'], true], message)
	})

	it('waits twice as long after each failure, up to the longest wait', async (t) => {
		// Nothing listens on port 1 in the tests' own network namespace: every attempt fails at once,
		// and only the waits between them remain, on a clock the test moves.
		t.mock.timers.enable({ apis: ['setTimeout'] })
		const client = new ApiClient({ host: '127.0.0.1', port: 1, token: 'x', firstRetryMs: 1000, longestRetryMs: 8000, heartbeatMs: 3600000 })
		t.after(() => client.stop())
		const nextWait = async () => Number(/trying again in (\d+) s$/.exec((await nextStatus(client, Status.Unreachable)).message)[1])
		let waiting = nextWait()
		client.start()
		const waits = []
		for (let attempt = 0; attempt < 6; ++attempt) {
			waits.push(await waiting)
			waiting = nextWait()
			// The announced wait is the one kept: a millisecond short of it nothing is tried.
			const statuses = [waits.at(-1) * 1000 - 1, 1].map((ms) => (t.mock.timers.tick(ms), client.status))
			assert.deepEqual(statuses, [Status.Unreachable, Status.Connecting])
		}
		assert.deepEqual(waits, [1, 2, 4, 8, 8, 8])
	})
})

describe('the module instance', () => {
	it('asks for what is missing, connects with what it is given, and offers the fingerprint only with TLS', async (t) => {
		// Companion starts the module through runEntrypoint; here it only hands the class over.
		const base = require('@companion-module/base')
		let Instance
		Object.defineProperty(base, 'runEntrypoint', { value: (cls) => (Instance = cls), configurable: true })
		require('../src/main')
		// An instance with no Companion behind it: what it tells Companion is kept.
		const told = { status: [], checked: [], logged: [], defined: 0 }
		const module = Object.assign(Object.create(Instance.prototype), {
			updateStatus: (status, message) => told.status.push([status, message]),
			checkFeedbacks: (...ids) => told.checked.push(ids),
			log: (level, message) => told.logged.push(`${level} ${message}`),
			setActionDefinitions: () => ++told.defined,
		}, Object.fromEntries(['Feedback', 'Variable', 'Preset'].map((kind) => [`set${kind}Definitions`, () => {}])), { setVariableValues() {} })
		t.after(() => module.destroy())
		const fields = module.getConfigFields()
		assert.deepEqual(fields.map((field) => [field.id, field.default]),
			[['host', undefined], ['port', 7741], ['token', undefined], ['tls', true], ['fingerprint', undefined]])
		assert.deepEqual([fields[4].isVisible({ tls: false }), fields[4].isVisible({})], [false, true])
		const { BadConfig, ConnectionFailure } = base.InstanceStatus
		await module.init({ host: '127.0.0.1', token: '' })
		assert.deepEqual(told.status, [[BadConfig, 'Enter the controller address and its API token']])
		await module.configUpdated({ host: '127.0.0.1', token: 't', fingerprint: 'AB:CD' })
		assert.deepEqual(told.status.at(-1), [BadConfig, "Enter the controller's certificate fingerprint (64 hex digits)"])
		assert.equal(await module.send('state'), undefined)
		// Without TLS no fingerprint is asked for; an empty port is the controller's own.
		await module.configUpdated({ host: '127.0.0.1', token: 't', tls: false, port: '' })
		assert.equal(module.client.port, 7741)
		await waitUntil('the failed attempt told', async () => told.status.some(([status]) => status === ConnectionFailure))
		assert.deepEqual(told.checked.at(-1), ['connected'])
		await module.send('state')
		assert.match(told.logged.at(-1), /^warn state: not connected to the controller/)
		assert.deepEqual([Status.Ok, Status.AuthFailed, Status.Lost].map((status) => (module.client.emit('status', status, ''), told.status.at(-1))),
			[['ok', null], ['authentication_failure', null], ['disconnected', null]])
		// New lists redefine the buttons; new values light them.
		const defined = told.defined
		module.installation.emit('lists')
		const checked = told.checked.length
		module.installation.emit('values')
		assert.deepEqual([told.defined, told.checked.slice(checked)], [defined + 1, [['shows_source', 'online', 'scene_active']]])
		const client = module.client
		await module.destroy()
		assert.deepEqual([module.client, client.status], [null, Status.Stopped])
	})
})
